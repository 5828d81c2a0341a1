#pragma once
// Uptime that does not wrap. Windows' 32-bit millisecond count starts again at 0 after 2^32 ms
// (49.7 days); a service that runs for months needs the count carried on into 64 bits.
#include <cstdint>

class ExtendedTickCount {
 public:
  // The 32-bit count carried on across its wraps. Readings must come more often than every
  // 2^31 ms (24.8 days); the service reads once a second. A reading that steps back by less
  // than that was taken before the previous one (by another thread) and gives the previous
  // value again, so the result never goes backwards.
  uint64_t Extend(uint32_t reading);

 private:
  bool started_ = false;
  uint64_t last_ = 0;
};
