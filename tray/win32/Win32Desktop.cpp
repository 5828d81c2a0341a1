#include "tray/win32/Win32Desktop.h"

#include <windows.h>

#include "foundation/win32/WideText.h"

std::optional<WindowRect> Win32Desktop::ForegroundWindowRect() {
  const HWND window = GetForegroundWindow();
  if (window == nullptr) {
    return std::nullopt;
  }
  // The window may close between the two calls; then there is nothing in front to judge.
  RECT r{};
  if (!GetWindowRect(window, &r)) {
    return std::nullopt;
  }
  return WindowRect{r.left, r.top, r.right, r.bottom};
}

ScreenSize Win32Desktop::PrimaryScreenSize() {
  return ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool Win32Desktop::TopLevelWindowExists(std::u16string_view className) {
  return FindWindowW(Wide(className).c_str(), nullptr) != nullptr;
}
