#pragma once
// The release worker's record of its last release, in the LastRelease subkey of the settings key.
#include <cstdint>
#include <optional>

#include "foundation/RegistryPort.h"

struct LastRelease {
  uint32_t requestedMegabytes = 0;
  uint32_t freedMegabytes = 0;
  uint32_t milliseconds = 0;
  uint64_t fileTime = 0;  // when it ended: FILETIME, UTC
  uint32_t trimmed = 0;   // processes trimmed
  uint32_t refused = 0;   // processes that could not be opened or trimmed
};

// The whole record, or nothing when any of its six values is missing or of another type (no
// release yet, or a worker still writing it).
std::optional<LastRelease> ReadLastRelease(RegistryPort& registry);
