#include "foundation/base/TickCount.h"

uint64_t ExtendedTickCount::Extend(uint32_t reading) {
  if (!started_) {
    started_ = true;
    last_ = reading;
    return last_;
  }
  // The step forward modulo 2^32: across a wrap the new reading is small and the step still
  // comes out as the few milliseconds that passed.
  const uint32_t step = reading - static_cast<uint32_t>(last_);
  if (step < 0x80000000u) {
    last_ += step;
  }
  return last_;
}
