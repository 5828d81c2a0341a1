#pragma once
// Top-level windows of the caller's desktop, for the single-instance test and "/freemem".
#include "tray/RunOnce.h"

class Win32DesktopWindows final : public DesktopWindowsPort {
 public:
  std::optional<WindowId> FindTopLevelWindow(std::u16string_view className) override;
  void RestoreWindow(WindowId window) override;
  void SetForegroundWindow(WindowId window) override;
  bool PostFreeMemory(WindowId window) override;
};
