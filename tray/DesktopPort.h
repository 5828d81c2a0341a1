#pragma once
// The desktop as the monitor tick sees it: the foreground window's place, the primary display's
// size and whether the taskbar exists.
#include <cstdint>
#include <optional>
#include <string_view>

// GetWindowRect's rectangle in screen coordinates; right and bottom are the exclusive edges.
struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

// The window in front as the full-screen rule sees it.
struct FrontWindow {
  WindowRect rect;
  // The desktop itself: it covers the screen, yet no program is in front.
  bool desktop = false;
};

struct ScreenSize {
  int32_t width = 0;   // GetSystemMetrics(SM_CXSCREEN)
  int32_t height = 0;  // GetSystemMetrics(SM_CYSCREEN)
};

class DesktopPort {
 public:
  virtual ~DesktopPort() = default;

  // GetForegroundWindow, then GetWindowRect of it, and whether it is the desktop (GetDesktopWindow
  // or a desktop window of the shell). Nothing when there is no foreground window or it went away
  // before its rectangle could be read.
  virtual std::optional<FrontWindow> ForegroundWindow() = 0;
  // The primary display's size in pixels.
  virtual ScreenSize PrimaryScreenSize() = 0;
  // FindWindowW of a top-level window by class name.
  virtual bool TopLevelWindowExists(std::u16string_view className) = 0;
};
