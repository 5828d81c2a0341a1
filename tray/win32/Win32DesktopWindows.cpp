#include "tray/win32/Win32DesktopWindows.h"

#include <windows.h>

#include "foundation/base/win32/WideText.h"
#include "tray/NimbelloTrayForm.h"

std::optional<DesktopWindowsPort::WindowId> Win32DesktopWindows::FindTopLevelWindow(
    std::u16string_view className) {
  HWND found = FindWindowW(Wide(className).c_str(), nullptr);
  if (found == nullptr) {
    return std::nullopt;
  }
  return reinterpret_cast<WindowId>(found);
}

void Win32DesktopWindows::RestoreWindow(WindowId window) {
  ShowWindow(reinterpret_cast<HWND>(window), SW_RESTORE);
}

void Win32DesktopWindows::SetForegroundWindow(WindowId window) {
  ::SetForegroundWindow(reinterpret_cast<HWND>(window));
}

bool Win32DesktopWindows::PostFreeMemory(WindowId window) {
  return PostMessageW(reinterpret_cast<HWND>(window), WM_HOTKEY, FreeMemHotKeyId,
                      MAKELPARAM(FreeMemHotKeyModifiers, FreeMemHotKeyKey)) != FALSE;
}
