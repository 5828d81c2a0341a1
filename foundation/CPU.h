#pragma once
// Processor usage since the previous successful call, from the processors' idle time and the
// system clock.
#include <cstdint>

#include "foundation/ProcessorInfoPort.h"
#include "foundation/SystemInfoPort.h"

// The previous sample, owned by the program for the life of its process. An idle time of 0 means
// that there is none yet.
struct ProcessorSample {
  int64_t idleTime = 0;
  int64_t systemTime = 0;
};

// A record value as the sampler computes with it: high half × 2^32 + low half, in double precision.
double RecordValueToDouble(RecordInt64 value);

// The share of processor time that was not idle since the previous successful call, 0.0 to 100.0,
// with 0.5 already added for the caller's rounding. The first call, and every call that fails or
// cannot compute, yields 0; only a call that computed (or the first one) replaces the sample.
double GetProcessorUsage(ProcessorSample& previous, ProcessorInfoPort& processors,
                         SystemInfoPort& system);
