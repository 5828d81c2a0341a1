#pragma once
// What a release worker leaves behind: the outcome of its last run under the settings key's
// subkey LastRelease. Each value is one write; a refused write changes nothing else.
#include <cstdint>

#include "foundation/RegistryPort.h"

struct LastRelease {
  uint32_t requested = 0;     // MB, after the cut to the total
  uint32_t freed = 0;         // MB, the rise of available memory, 0 when it fell
  uint32_t milliseconds = 0;  // the run's own time, its wait for a turn included
  uint64_t time = 0;          // FILETIME, UTC
  uint32_t trimmed = 0;       // processes whose working set was emptied
  uint32_t refused = 0;       // processes that could not be opened or trimmed
};

void RecordLastRelease(RegistryPort& registry, const LastRelease& outcome);
