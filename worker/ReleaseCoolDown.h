#pragma once
// Releases on every tick would trim the same idle processes every second: a worker that finds no
// other worker of its turn ends at once while the last run ended less than CoolDown ago. The time
// comes from LastRelease, which users may write, so the rule reads it as an adversary's value.
#include <cstdint>

inline constexpr uint64_t CoolDownFileTime = uint64_t{30} * 10'000'000;  // 30 s in FILETIME ticks

// lastEnd is LastRelease's Time, 0 when there is none. A time in the future counts as none: a user
// who wrote one cannot hold releases back for longer than CoolDown, whatever they wrote.
bool IsCoolingDown(uint64_t lastEnd, uint64_t now);
