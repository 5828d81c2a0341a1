#pragma once
// The release worker's memory of earlier releases, under LastRelease beside the last record:
// - History (REG_BINARY): the last HistoryCapacity measured releases, oldest first, each
//   HistoryRecordBytes little-endian bytes: Time (8, FILETIME UTC), then Requested, Freed,
//   Dropped, Regrown, Faults, HardFaults, Window (4 each), as in the last record;
// - Spared (REG_BINARY): at most SparedCapacity program images, SparedRecordBytes each: Time
//   (8, FILETIME UTC), Strikes (2), name length in characters (2), name (SparedNameChars UTF-16
//   characters, zero-padded). An image strikes once when a measured trim saw its working set take
//   back half of what it gave up; two strikes in a row spare it for SparedHours from Time.
// A user can write both values: every reader drops what a worker cannot have written, and a
// forged spared list can only keep the worker from trimming a program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/LastRelease.h"
#include "foundation/RegistryPort.h"

struct MeasuredRelease {
  uint64_t time = 0;  // when the release ended: FILETIME, UTC
  uint32_t requested = 0, freed = 0, dropped = 0, regrown = 0, faults = 0, hardFaults = 0,
           window = 0;
};

inline constexpr size_t HistoryCapacity = 32;
inline constexpr size_t HistoryRecordBytes = 36;
inline constexpr size_t SparedCapacity = 64;
inline constexpr size_t SparedNameChars = 60;
inline constexpr size_t SparedRecordBytes = 12 + 2 * SparedNameChars;
inline constexpr uint32_t SparedHours = 24;

// The releases kept, oldest first, at most HistoryCapacity. A value of the wrong type or size is
// read as no history; a record that is not a measured release (no time, a time after now or not
// after the one before it, nothing asked, figures beyond the installed memory when totalBytes > 0,
// regrowth beyond the drop, a window longer than the worker's) is dropped.
std::vector<MeasuredRelease> ReadReleaseHistory(RegistryPort& registry, uint64_t nowFileTime,
                                                int64_t totalBytes);

// Adds one measured release to the history read as above, the oldest leaving beyond capacity.
void AppendReleaseHistory(RegistryPort& registry, const LastRelease& measured, uint64_t nowFileTime,
                          int64_t totalBytes);

// The image names spared now: two strikes, a time not after now and less than SparedHours ago.
std::vector<std::u16string> ReadSparedPrograms(RegistryPort& registry, uint64_t nowFileTime);

// What one measured release saw of one program image (its processes summed).
struct ImageRegrowth {
  std::u16string name;
  uint64_t droppedBytes = 0;
  uint64_t regrownBytes = 0;
};

// Strikes the images whose regrowth reached half their drop, clears the strikes of those that
// stayed low, and keeps the newest SparedCapacity entries. Images that gave up nothing say
// nothing; names longer than SparedNameChars are never spared.
void RecordSparedPrograms(RegistryPort& registry, const std::vector<ImageRegrowth>& images,
                          uint64_t nowFileTime);
