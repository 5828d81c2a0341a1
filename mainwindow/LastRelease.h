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

// The whole record of six values, or nothing (no release yet, or a worker still writing it). Users
// may set these values, so the record is taken as input from anyone: each value must have exactly
// its type and size, and the figures must be ones a worker can leave behind. It ended at a time not after now
// (FILETIME, UTC); it asked for at least 1 MB and freed no more than the installed memory, when
// that is known (totalBytes > 0); it took no longer than any worker's run.
std::optional<LastRelease> ReadLastRelease(RegistryPort& registry, uint64_t nowFileTime,
                                           int64_t totalBytes);
