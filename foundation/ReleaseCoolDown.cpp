#include "foundation/ReleaseCoolDown.h"

namespace {

constexpr uint64_t FileTimeSecond = 10'000'000;

}  // namespace

bool IsCoolingDown(uint64_t lastEnd, uint64_t now) {
  return lastEnd != 0 && lastEnd <= now && now - lastEnd < CoolDownFileTime;
}

std::optional<CoolDownLeft> CoolDownRemaining(uint64_t lastEnd, uint64_t now) {
  if (!IsCoolingDown(lastEnd, now)) {
    return std::nullopt;
  }
  const auto ago = static_cast<uint32_t>((now - lastEnd) / FileTimeSecond);
  return CoolDownLeft{ago, static_cast<uint32_t>(CoolDownFileTime / FileTimeSecond) - ago};
}
