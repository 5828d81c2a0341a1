#pragma once
// Releases on every tick would trim the same idle processes every second: no worker runs while the
// last run ended less than CoolDown ago. The release worker holds back a whole request by it, and
// the service starts none while it lasts (or while its own previous request is that young), so no
// process is started only to end at once. The time comes from LastRelease, which users may write,
// so the rule reads it as an adversary's value.
#include <cstdint>
#include <optional>

inline constexpr uint64_t CoolDownFileTime = uint64_t{30} * 10'000'000;  // 30 s in FILETIME ticks
inline constexpr uint64_t FileTimePerMillisecond = 10'000;

// lastEnd is LastRelease's Time, 0 when there is none; both in FILETIME ticks (or milliseconds
// times FileTimePerMillisecond, for a steady count). A time in the future counts as none: a user
// who wrote one cannot hold releases back for longer than CoolDown, whatever they wrote.
bool IsCoolingDown(uint64_t lastEnd, uint64_t now);

// While the cool-down lasts: whole seconds since the last run ended, and the seconds to wait, so
// that the two add up to the cool-down and a new request after the wait is surely not held back.
// The applet tells the user so when a request of theirs meets it.
struct CoolDownLeft {
  uint32_t secondsAgo = 0;
  uint32_t secondsLeft = 0;
};
std::optional<CoolDownLeft> CoolDownRemaining(uint64_t lastEnd, uint64_t now);
