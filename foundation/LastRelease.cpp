#include "foundation/LastRelease.h"

#include <array>
#include <string_view>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/Guard.h"
#include "foundation/Rounding.h"

namespace {

// A worker waits at most 90 s for its turn and works about 8 s: ten minutes is beyond any run.
constexpr uint32_t LongestRunMilliseconds = 600000;

// The value's little-endian number when it has exactly the type and size given.
std::optional<uint64_t> ReadNumber(RegistryPort& registry, std::u16string_view name, uint32_t type,
                                   uint32_t size) {
  std::array<std::byte, 16> buffer{};
  const RegistryQuery q =
      registry.QueryValue(Constants::SettingsRoot, Constants::LastReleaseKey, name, buffer);
  if (q.status != RegistryQuery::Status::Ok || q.type != type || q.size != size) {
    return std::nullopt;
  }
  uint64_t v = 0;
  for (uint32_t i = 0; i < size; ++i) {
    v |= static_cast<uint64_t>(std::to_integer<uint8_t>(buffer[i])) << (8 * i);
  }
  return v;
}

}  // namespace

void RecordLastRelease(RegistryPort& registry, const LastRelease& outcome) {
  const CustomRegistry store(registry);
  const auto dword = [&](std::u16string_view name, uint32_t value) {
    store.TryWriteSettingInteger(Constants::SettingsRoot, Constants::LastReleaseKey, name,
                                 static_cast<int32_t>(value));
  };
  dword(Constants::LastReleaseRequested, outcome.requested);
  dword(Constants::LastReleaseFreed, outcome.freed);
  dword(Constants::LastReleaseMilliseconds, outcome.milliseconds);
  dword(Constants::LastReleaseTrimmed, outcome.trimmed);
  dword(Constants::LastReleaseRefused, outcome.refused);
  store.TryWriteSettingQword(Constants::SettingsRoot, Constants::LastReleaseKey,
                             Constants::LastReleaseTime, outcome.time);
}

std::optional<LastRelease> ReadLastRelease(RegistryPort& registry, uint64_t nowFileTime,
                                           int64_t totalBytes) {
  return guarded_or(std::optional<LastRelease>(), [&]() -> std::optional<LastRelease> {
    const auto requested = ReadNumber(registry, Constants::LastReleaseRequested, RegType::Dword, 4);
    const auto freed = ReadNumber(registry, Constants::LastReleaseFreed, RegType::Dword, 4);
    const auto ms = ReadNumber(registry, Constants::LastReleaseMilliseconds, RegType::Dword, 4);
    const auto time = ReadNumber(registry, Constants::LastReleaseTime, RegType::Qword, 8);
    const auto trimmed = ReadNumber(registry, Constants::LastReleaseTrimmed, RegType::Dword, 4);
    const auto refused = ReadNumber(registry, Constants::LastReleaseRefused, RegType::Dword, 4);
    if (!requested || !freed || !ms || !time || !trimmed || !refused) {
      return std::nullopt;
    }
    // In rounded megabytes, as the worker cuts a request to the total.
    const int64_t totalMegabytes = RoundToInt64(static_cast<long double>(totalBytes) / 1024 / 1024);
    const bool fitsMemory =
        totalBytes <= 0 || (static_cast<int64_t>(*requested) <= totalMegabytes &&
                            static_cast<int64_t>(*freed) <= totalMegabytes);
    if (*time == 0 || *time > nowFileTime || *requested == 0 || !fitsMemory ||
        *ms > LongestRunMilliseconds) {
      return std::nullopt;
    }
    return LastRelease{static_cast<uint32_t>(*requested), static_cast<uint32_t>(*freed),
                       static_cast<uint32_t>(*ms),        *time,
                       static_cast<uint32_t>(*trimmed),   static_cast<uint32_t>(*refused)};
  });
}

uint64_t ReadLastReleaseTime(RegistryPort& registry) {
  const CustomRegistry store(registry);
  return static_cast<uint64_t>(store.ReadSettingQword(
      Constants::SettingsRoot, Constants::LastReleaseKey, Constants::LastReleaseTime, 0));
}
