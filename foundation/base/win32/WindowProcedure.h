#pragma once
// The window procedure of every window class whose windows each belong to one object of type T:
// the object comes as CreateWindowExW's last argument and is kept in the window's user data. Once
// the object says it is attached, its Handle answers every message; before that (while the window
// is being made, or after the object let go) Windows's default does.
#include <windows.h>

template <class T>
LRESULT CALLBACK ObjectWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && self->Attached()) {
    return self->Handle(message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
