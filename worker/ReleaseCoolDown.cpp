#include "worker/ReleaseCoolDown.h"

#include <array>
#include <cstddef>

#include "foundation/Constants.h"

std::optional<uint64_t> ReadLastReleaseTime(RegistryPort& registry) {
  std::array<std::byte, 8> bytes{};
  const RegistryQuery query = registry.QueryValue(
      Constants::SettingsRoot, Constants::LastReleaseKey, Constants::LastReleaseTime, bytes);
  if (query.status != RegistryQuery::Status::Ok || query.type != RegType::Qword ||
      query.size != bytes.size()) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) {
    value = value << 8 | static_cast<uint64_t>(bytes[i]);
  }
  return value;
}

bool IsCoolingDown(std::optional<uint64_t> lastEnd, uint64_t now) {
  return lastEnd && *lastEnd <= now && now - *lastEnd < CoolDownFileTime;
}
