#pragma once
// One owner type per Windows handle kind: the handle is closed exactly once, by its owner.
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

struct RegKeyCloser {
  void operator()(HKEY h) const { RegCloseKey(h); }
};
struct LibraryCloser {
  void operator()(HMODULE h) const { FreeLibrary(h); }
};
struct KernelHandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

using UniqueHKey = UniqueHandle<HKEY, RegKeyCloser>;
using UniqueModule = UniqueHandle<HMODULE, LibraryCloser>;
// Process, thread and event handles (never INVALID_HANDLE_VALUE-style handles).
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleCloser>;
