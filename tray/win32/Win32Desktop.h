#pragma once
// The desktop through user32: foreground window, primary display size, top-level windows by class.
#include "tray/DesktopPort.h"

class Win32Desktop final : public DesktopPort {
 public:
  std::optional<WindowRect> ForegroundWindowRect() override;
  ScreenSize PrimaryScreenSize() override;
  bool TopLevelWindowExists(std::u16string_view className) override;
};
