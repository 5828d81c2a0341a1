#pragma once
// Owners of the USER and GDI handles that the tray window and its icon window hold.
#include <windows.h>

#include "foundation/win32/UniqueHandle.h"

struct WindowDestroyer {
  void operator()(HWND h) const { DestroyWindow(h); }
};
struct MenuDestroyer {
  void operator()(HMENU h) const { DestroyMenu(h); }
};
struct FontDeleter {
  void operator()(HFONT h) const { DeleteObject(h); }
};

using UniqueHWnd = UniqueHandle<HWND, WindowDestroyer>;
using UniqueHMenu = UniqueHandle<HMENU, MenuDestroyer>;
using UniqueHFont = UniqueHandle<HFONT, FontDeleter>;
