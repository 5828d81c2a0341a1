#include "worker/win32/Win32WorkerClock.h"

uint64_t Win32WorkerClock::UtcFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}
