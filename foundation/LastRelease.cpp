#include "foundation/LastRelease.h"

#include <string_view>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/base/Guard.h"
#include "foundation/base/Rounding.h"

namespace {

// A worker waits at most 20 s for its turn and works about 8 s: ten minutes is beyond any run.
constexpr uint32_t LongestRunMilliseconds = 600000;

// Each figure a REG_DWORD of its own under LastRelease; a refused write changes nothing else.
void WriteRecordDword(const CustomRegistry& store, std::u16string_view name, uint32_t value) {
  store.TryWriteSettingInteger(Constants::SettingsRoot, Constants::LastReleaseKey, name,
                               static_cast<int32_t>(value));
}

}  // namespace

void RecordLastRelease(RegistryPort& registry, const LastRelease& outcome) {
  const CustomRegistry store(registry);
  WriteRecordDword(store, Constants::LastReleaseRequested, outcome.requested);
  WriteRecordDword(store, Constants::LastReleaseFreed, outcome.freed);
  WriteRecordDword(store, Constants::LastReleaseMilliseconds, outcome.milliseconds);
  WriteRecordDword(store, Constants::LastReleaseTrimmed, outcome.trimmed);
  WriteRecordDword(store, Constants::LastReleaseRefused, outcome.refused);
  store.TryWriteSettingQword(Constants::SettingsRoot, Constants::LastReleaseKey,
                             Constants::LastReleaseTime, outcome.time);
  RecordMeasuredRelease(registry, outcome);
}

void RecordMeasuredRelease(RegistryPort& registry, const LastRelease& outcome) {
  const CustomRegistry store(registry);
  // The window last: a reader that sees it set finds the figures it belongs to.
  WriteRecordDword(store, Constants::LastReleaseAvailableBefore, outcome.availableBefore);
  WriteRecordDword(store, Constants::LastReleaseAvailableAfter, outcome.availableAfter);
  WriteRecordDword(store, Constants::LastReleaseDropped, outcome.dropped);
  WriteRecordDword(store, Constants::LastReleaseRegrown, outcome.regrown);
  WriteRecordDword(store, Constants::LastReleaseFaults, outcome.faults);
  WriteRecordDword(store, Constants::LastReleaseHardFaults, outcome.hardFaults);
  WriteRecordDword(store, Constants::LastReleaseWindow, outcome.window);
}

std::optional<LastRelease> ReadLastRelease(RegistryPort& registry, uint64_t nowFileTime,
                                           int64_t totalBytes) {
  return guarded_or(std::optional<LastRelease>(), [&]() -> std::optional<LastRelease> {
    const CustomRegistry store(registry);
    const auto read = [&](std::u16string_view name, uint32_t type) {
      return store.ReadExactNumber(Constants::SettingsRoot, Constants::LastReleaseKey, name, type);
    };
    const auto requested = read(Constants::LastReleaseRequested, RegType::Dword);
    const auto freed = read(Constants::LastReleaseFreed, RegType::Dword);
    const auto ms = read(Constants::LastReleaseMilliseconds, RegType::Dword);
    const auto time = read(Constants::LastReleaseTime, RegType::Qword);
    const auto trimmed = read(Constants::LastReleaseTrimmed, RegType::Dword);
    const auto refused = read(Constants::LastReleaseRefused, RegType::Dword);
    if (!requested || !freed || !ms || !time || !trimmed || !refused) {
      return std::nullopt;
    }
    // In rounded megabytes, as the worker cuts a request to the total.
    const int64_t totalMegabytes =
        RoundToInt64(RoundedMegabytes(static_cast<long double>(totalBytes)));
    const bool fitsMemory =
        totalBytes <= 0 || (static_cast<int64_t>(*requested) <= totalMegabytes &&
                            static_cast<int64_t>(*freed) <= totalMegabytes);
    if (*time == 0 || *time > nowFileTime || *requested == 0 || !fitsMemory ||
        *ms > LongestRunMilliseconds) {
      return std::nullopt;
    }
    LastRelease record{static_cast<uint32_t>(*requested), static_cast<uint32_t>(*freed),
                       static_cast<uint32_t>(*ms),        *time,
                       static_cast<uint32_t>(*trimmed),   static_cast<uint32_t>(*refused)};
    // An older worker's record has none of these, a worker still measuring has a window of 0:
    // either way they are not figures yet. Each must have its exact type.
    const auto measured = [&](std::u16string_view name) {
      return static_cast<uint32_t>(read(name, RegType::Dword).value_or(0));
    };
    LastRelease m = record;
    m.availableBefore = measured(Constants::LastReleaseAvailableBefore);
    m.availableAfter = measured(Constants::LastReleaseAvailableAfter);
    m.dropped = measured(Constants::LastReleaseDropped);
    m.regrown = measured(Constants::LastReleaseRegrown);
    m.faults = measured(Constants::LastReleaseFaults);
    m.hardFaults = measured(Constants::LastReleaseHardFaults);
    m.window = measured(Constants::LastReleaseWindow);
    const auto fits = [&](uint32_t megabytes) {
      return totalBytes <= 0 || static_cast<int64_t>(megabytes) <= totalMegabytes;
    };
    if (m.window > 0 && m.window <= Constants::MeasureWindowSeconds && m.regrown <= m.dropped &&
        fits(m.availableBefore) && fits(m.availableAfter) && fits(m.dropped)) {
      return m;
    }
    return record;
  });
}

uint64_t ReadLastReleaseTime(RegistryPort& registry) {
  const CustomRegistry store(registry);
  return static_cast<uint64_t>(store.ReadSettingQword(
      Constants::SettingsRoot, Constants::LastReleaseKey, Constants::LastReleaseTime, 0));
}
