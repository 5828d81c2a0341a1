#pragma once
// The desktop through user32: foreground window, primary display size, top-level windows by class.
#include <windows.h>

#include "tray/DesktopPort.h"

// GetDesktopWindow(), the shell's window (GetShellWindow()), or a "WorkerW" or "Progman" window of
// the shell's process: the desktop the user sees behind every program.
bool IsDesktopWindow(HWND window);

class Win32Desktop final : public DesktopPort {
 public:
  std::optional<FrontWindow> ForegroundWindow() override;
  ScreenSize PrimaryScreenSize() override;
  bool TopLevelWindowExists(std::u16string_view className) override;
};
