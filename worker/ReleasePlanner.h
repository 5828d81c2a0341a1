#pragma once
// The pure rules of the release worker: which processes to trim, in which order, and when to stop.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "worker/ProcessRecord.h"

// A process below this working set is not worth a trim.
inline constexpr uint64_t SmallestTrimmedWorkingSet = 8ull * 1024 * 1024;

// Base priority from the high priority class up (13 high, 24 realtime): such a process asked
// not to wait, and paging its memory back in would make it wait.
inline constexpr int32_t HighBasePriority = 13;

struct TrimTarget {
  uint32_t id = 0;
  int64_t creationTime = 0;
  uint64_t workingSet = 0;
  bool operator==(const TrimTarget&) const = default;
};

struct PlanContext {
  uint32_t selfId = 0;
  std::optional<uint32_t> foregroundId;  // the user's own program, never trimmed
  // Images whose pages came back after their last trims (names case folded on A-Z only).
  std::vector<std::u16string> spared;
};

// The kernel's and the session's own processes (by id or image name, case folded on A-Z only,
// with or without ".exe"). They are never opened.
bool IsNeverTouched(const ProcessRecord& process);

// The processes of `after` that were also in `before` (same id and creation time), used no
// processor in between (the same cycle count; where Windows reports none, the same processor
// time), hold at least SmallestTrimmedWorkingSet, are not never-touched, not
// the worker, its parent, the foreground process, a spared image nor at high or realtime
// priority. Largest
// working set first; equal sets in id order.
std::vector<TrimTarget> PlanTrimming(std::span<const ProcessRecord> before,
                                     std::span<const ProcessRecord> after,
                                     const PlanContext& context);

enum class StopReason { None, Target, Deadline };

// Target first: a worker that reached its amount right at the deadline did reach it.
StopReason ShouldStop(int64_t available, int64_t target, uint64_t now, uint64_t deadline);
