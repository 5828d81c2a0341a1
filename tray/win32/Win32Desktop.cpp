#include "tray/win32/Win32Desktop.h"

#include <windows.h>

#include <iterator>
#include <string_view>

#include "foundation/base/win32/WideText.h"

bool IsDesktopWindow(HWND window) {
  if (window == GetDesktopWindow()) {
    return true;
  }
  const HWND shell = GetShellWindow();
  if (shell == nullptr) {
    return false;
  }
  if (window == shell) {
    return true;
  }
  // A click on the desktop can bring forward one of the shell's other desktop windows: "WorkerW"
  // (behind the icons, for the wallpaper) or "Progman". Another program may use those class
  // names, so the window must belong to the shell's process.
  wchar_t className[16] = {};
  const int length = GetClassNameW(window, className, static_cast<int>(std::size(className)));
  const std::wstring_view name(className, length > 0 ? static_cast<size_t>(length) : 0);
  if (name != L"WorkerW" && name != L"Progman") {
    return false;
  }
  DWORD shellProcess = 0;
  DWORD windowProcess = 0;
  GetWindowThreadProcessId(shell, &shellProcess);
  GetWindowThreadProcessId(window, &windowProcess);
  return shellProcess != 0 && windowProcess == shellProcess;
}

std::optional<FrontWindow> Win32Desktop::ForegroundWindow() {
  const HWND window = GetForegroundWindow();
  if (window == nullptr) {
    return std::nullopt;
  }
  // The window may close between the two calls; then there is nothing in front to judge.
  RECT r{};
  if (!GetWindowRect(window, &r)) {
    return std::nullopt;
  }
  return FrontWindow{WindowRect{r.left, r.top, r.right, r.bottom}, IsDesktopWindow(window)};
}

ScreenSize Win32Desktop::PrimaryScreenSize() {
  return ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool Win32Desktop::TopLevelWindowExists(std::u16string_view className) {
  return FindWindowW(Wide(className).c_str(), nullptr) != nullptr;
}
