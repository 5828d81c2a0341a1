#pragma once
// One owner type per Windows handle kind, for every program: the handle is closed exactly once, by
// its owner.
#include <windows.h>

#include <utility>

template <class T, class Closer, T Invalid = T{}>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid; }
  T release() { return std::exchange(handle_, Invalid); }
  void reset(T handle = Invalid) {
    T old = std::exchange(handle_, handle);
    if (old != Invalid) {
      Closer{}(old);
    }
  }
  // For out-parameters: the old handle is closed first.
  T* put() {
    reset();
    return &handle_;
  }

 private:
  T handle_ = Invalid;
};

// Closes a handle with the one Windows function that gives it back.
template <auto Close>
struct CloseWith {
  template <class H>
  void operator()(H h) const {
    Close(h);
  }
};
// The screen's DC (GetDC(nullptr)), which is borrowed and given back.
struct ScreenDCReleaser {
  void operator()(HDC h) const { ReleaseDC(nullptr, h); }
};

using UniqueHKey = UniqueHandle<HKEY, CloseWith<RegCloseKey>>;
using UniqueModule = UniqueHandle<HMODULE, CloseWith<FreeLibrary>>;
// Process, thread and event handles (never INVALID_HANDLE_VALUE-style handles).
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseWith<CloseHandle>>;
// Service Control Manager and service handles (CloseServiceHandle).
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, CloseWith<CloseServiceHandle>>;
// Event log sources (DeregisterEventSource).
using UniqueEventSource = UniqueHandle<HANDLE, CloseWith<DeregisterEventSource>>;
// Memory the system allocated for the caller (LocalFree): messages, security descriptors, SID
// texts, split command lines; typed as the call that made it hands it out.
template <class T>
using UniqueLocal = UniqueHandle<T, CloseWith<LocalFree>>;
using UniqueLocalMemory = UniqueLocal<HLOCAL>;
using UniqueHWnd = UniqueHandle<HWND, CloseWith<DestroyWindow>>;
using UniqueHMenu = UniqueHandle<HMENU, CloseWith<DestroyMenu>>;
using UniqueHIcon = UniqueHandle<HICON, CloseWith<DestroyIcon>>;
using UniqueHFont = UniqueHandle<HFONT, CloseWith<DeleteObject>>;
using UniqueHBitmap = UniqueHandle<HBITMAP, CloseWith<DeleteObject>>;
using UniqueHBrush = UniqueHandle<HBRUSH, CloseWith<DeleteObject>>;
// A DC of our own (CreateCompatibleDC).
using UniqueMemoryDC = UniqueHandle<HDC, CloseWith<DeleteDC>>;
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
