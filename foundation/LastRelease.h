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
  // Measured a window after the trims; all 0 until then ("not measured yet"), and in a record
  // left by a worker that did not measure.
  uint32_t availableBefore = 0;  // MB, at the worker's first reading
  uint32_t availableAfter = 0;   // MB, at its end
  uint32_t dropped = 0;          // MB the trimmed processes' working sets gave up
  uint32_t regrown = 0;          // MB of that drop taken back within the window
  uint32_t faults = 0;           // their page faults over the window
  uint32_t hardFaults = 0;       // of those, the ones read from disk
  uint32_t window = 0;           // seconds measured; 0 until measured
};

// Each value is one write; a refused write changes nothing else.
void RecordLastRelease(RegistryPort& registry, const LastRelease& outcome);

// The values measured after the window only, leaving the rest (the time the cool-down reads
// above all) as the first write left them.
void RecordMeasuredRelease(RegistryPort& registry, const LastRelease& outcome);

// The whole record of six values, or nothing (no release yet, or a worker still writing it): each
// value must have exactly its type and size, and the figures must be ones a worker can leave
// behind. It ended at a time not after now (FILETIME, UTC); it asked for at least 1 MB and freed no
// more than the installed memory, when that is known (totalBytes > 0); it took no longer than any
// worker's run. The measured values are read with it: missing (an older worker's record), of
// another type, or not ones a worker can measure (a window longer than the worker's, regrowth
// beyond the drop, more than the installed memory), they all read as 0, "not measured yet".
std::optional<LastRelease> ReadLastRelease(RegistryPort& registry, uint64_t nowFileTime,
                                           int64_t totalBytes);

// The time alone, for a rule that bounds what it does with it; 0 when there is none.
uint64_t ReadLastReleaseTime(RegistryPort& registry);
