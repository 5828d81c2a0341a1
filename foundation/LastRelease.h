#pragma once
// What a release worker leaves behind: the outcome of its last run, in the settings key's subkey
// LastRelease. The worker writes it, the main window shows it and the next worker's cool-down reads
// its time. Users may set these values, so every read takes them as input from anyone.
#include <cstdint>
#include <optional>

#include "foundation/RegistryPort.h"

struct LastRelease {
  uint32_t requested = 0;     // MB, after the cut to the total
  uint32_t freed = 0;         // MB, the rise of available memory, 0 when it fell
  uint32_t milliseconds = 0;  // the run's own time, its wait for a turn included
  uint64_t time = 0;          // when it ended: FILETIME, UTC
  uint32_t trimmed = 0;       // processes whose working set was emptied
  uint32_t refused = 0;       // processes that could not be opened or trimmed
};

// Each value is one write; a refused write changes nothing else.
void RecordLastRelease(RegistryPort& registry, const LastRelease& outcome);

// The whole record of six values, or nothing (no release yet, or a worker still writing it): each
// value must have exactly its type and size, and the figures must be ones a worker can leave
// behind. It ended at a time not after now (FILETIME, UTC); it asked for at least 1 MB and freed no
// more than the installed memory, when that is known (totalBytes > 0); it took no longer than any
// worker's run.
std::optional<LastRelease> ReadLastRelease(RegistryPort& registry, uint64_t nowFileTime,
                                           int64_t totalBytes);

// The time alone, for a rule that bounds what it does with it; 0 when there is none.
uint64_t ReadLastReleaseTime(RegistryPort& registry);
