#pragma once
// Releases on every tick would trim the same idle processes every second: a worker that finds no
// other worker of its turn ends at once while the last run ended less than CoolDown ago. The time
// comes from LastRelease, which users may write, so the rule reads it as an adversary's value. The
// applet applies the same rule to tell the user why a request did nothing.
#include <cstdint>
#include <optional>

inline constexpr uint64_t CoolDownFileTime = uint64_t{30} * 10'000'000;  // 30 s in FILETIME ticks

// lastEnd is LastRelease's Time, 0 when there is none. A time in the future counts as none: a user
// who wrote one cannot hold releases back for longer than CoolDown, whatever they wrote.
bool IsCoolingDown(uint64_t lastEnd, uint64_t now);

// While the cool-down lasts: whole seconds since the last run ended, and the seconds to wait, so
// that the two add up to the cool-down and a new request after the wait is surely not held back.
struct CoolDownLeft {
  uint32_t secondsAgo = 0;
  uint32_t secondsLeft = 0;
};
std::optional<CoolDownLeft> CoolDownRemaining(uint64_t lastEnd, uint64_t now);
