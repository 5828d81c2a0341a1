#include "foundation/base/win32/Dpi.h"

#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"

UINT ScreenDpi() {
  const UniqueScreenDC screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT WindowDpi(HWND window) {
  // user32 is loaded in every windowed process; its module handle needs no release.
  static const auto getDpiForWindow =
      BindFunction<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
      return dpi;
    }
  }
  return ScreenDpi();
}
