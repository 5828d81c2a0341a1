#pragma once
// Owners of the GDI and USER handles that icons and owner-drawn controls are made from.
#include <windows.h>

#include "foundation/win32/UniqueHandle.h"

struct IconDestroyer {
  void operator()(HICON h) const { DestroyIcon(h); }
};
struct BitmapDeleter {
  void operator()(HBITMAP h) const { DeleteObject(h); }
};
struct BrushDeleter {
  void operator()(HBRUSH h) const { DeleteObject(h); }
};
// A DC of our own (CreateCompatibleDC).
struct MemoryDCDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
// The screen's DC (GetDC(nullptr)), which is borrowed and given back.
struct ScreenDCReleaser {
  void operator()(HDC h) const { ReleaseDC(nullptr, h); }
};

using UniqueHIcon = UniqueHandle<HICON, IconDestroyer>;
using UniqueHBitmap = UniqueHandle<HBITMAP, BitmapDeleter>;
using UniqueHBrush = UniqueHandle<HBRUSH, BrushDeleter>;
using UniqueMemoryDC = UniqueHandle<HDC, MemoryDCDeleter>;
using UniqueScreenDC = UniqueHandle<HDC, ScreenDCReleaser>;

// Puts a GDI object into a DC and puts the DC's previous object back at the end of the scope, so
// the object can be deleted (GDI does not delete an object that is selected into a DC).
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) {
      SelectObject(dc_, previous_);
    }
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  explicit operator bool() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
