#include "foundation/ReleaseCoolDown.h"

bool IsCoolingDown(uint64_t lastEnd, uint64_t now) {
  return lastEnd != 0 && lastEnd <= now && now - lastEnd < CoolDownFileTime;
}

std::optional<CoolDownLeft> CoolDownRemaining(uint64_t lastEnd, uint64_t now) {
  if (!IsCoolingDown(lastEnd, now)) {
    return std::nullopt;
  }
  constexpr uint64_t FileTimePerSecond = 1000 * FileTimePerMillisecond;
  const auto ago = static_cast<uint32_t>((now - lastEnd) / FileTimePerSecond);
  return CoolDownLeft{ago, static_cast<uint32_t>(CoolDownFileTime / FileTimePerSecond) - ago};
}
