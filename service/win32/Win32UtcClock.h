#pragma once
// The system time as FILETIME ticks, UTC.
#include <windows.h>

#include <cstdint>

#include "service/ReleaseStartRule.h"

class Win32UtcClock : public UtcClockPort {
 public:
  uint64_t UtcFileTime() override {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  }
};
