#pragma once
// A failed Windows call as an exception carrying its error code, for the caller's guard.
#include <windows.h>

#include <system_error>

[[noreturn]] inline void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}
