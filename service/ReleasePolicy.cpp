#include "service/ReleasePolicy.h"

#include <string>

#include "foundation/Constants.h"
#include "foundation/DateTimeText.h"
#include "foundation/base/Guard.h"
#include "foundation/RAM.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/base/Rounding.h"
#include "foundation/SettingsTable.h"

namespace {

// ACLineStatus values of the power status record.
constexpr uint8_t LineOffline = 0;
constexpr uint8_t LineUnknown = 255;

// The uptime rule: at least this many rounded minutes since Windows started.
constexpr int32_t LeastUptimeMinutes = 5;

constexpr int32_t SecondsPerMinute = 60;

// Milliseconds since Windows started ÷ 1000, rounded. The count is 64 bits wide: past 49.7 days
// the uptime goes on growing instead of falling back to 0, which would stall releases (for good
// when the last one lay within the final period before the wrap).
int32_t UptimeSeconds(ClockPort& clock) {
  return RoundToInt32(static_cast<long double>(clock.TickCount64()) / 1000.0L);
}

// Turns a set `Updated` into a fresh `UpdatedDate`. The flag is reset first: should making the
// text fail, the stamp is lost once, but the flag does not stay set to end every later tick here.
void UpdateStamp(const ReleasePolicyPorts& ports) {
  if (!ReadSettingBool(ports.settings, SettingId::Updated)) {
    return;
  }
  ports.settings.WriteSettingBool(Constants::Updated, false);
  const std::u16string stamp = DateTimeToText(ports.clock, ports.clock.LocalNow());
  ports.settings.WriteSettingString(Constants::UpdatedDate, stamp);
}

// A failed power status query fills in nothing to test; it counts as an unknown line status,
// which does not block. So does a failure raised during the query.
uint8_t ACLineStatus(SystemInfoPort& system) noexcept {
  return guarded_or<uint8_t>(
      LineUnknown, [&system] { return system.QueryACLineStatus().value_or(LineUnknown); });
}

void DecideAndRelease(ReleasePolicyState& state, const ReleasePolicyPorts& ports) {
  const CustomRegistry& settings = ports.settings;

  // Memory class from a first reading of the total.
  const MachineFacts machine{GetTotalPhysicalMemory(ports.system)};

  // Every setting, in this order, on every tick that gets here, whatever the outcome.
  const int32_t memoryMaintain = ReadSettingInteger(settings, SettingId::MemoryMaintain, machine);
  const int32_t memoryFree = ReadSettingInteger(settings, SettingId::MemoryFree, machine);
  const bool processorLimit = ReadSettingBool(settings, SettingId::ProcessorLimit);
  const int32_t processorTrigger =
      ReadSettingInteger(settings, SettingId::ProcessorTrigger, machine);
  const bool batteryCheck = ReadSettingBool(settings, SettingId::BatteryCheck);
  const bool fullScreen = ReadSettingBool(settings, SettingId::FullScreen);
  const bool fullScreenCheck = ReadSettingBool(settings, SettingId::FullScreenCheck);
  const int32_t executePeriod = ReadSettingInteger(settings, SettingId::ExecutePeriod, machine);
  const bool loadNimbello = ReadSettingBool(settings, SettingId::LoadNimbello);
  const bool defragMemory = ReadSettingBool(settings, SettingId::DefragMemory);

  // A second reading of the total; the threshold and the amount both come from it.
  const int64_t total = GetTotalPhysicalMemory(ports.system);
  const int64_t available = GetAvailablePhysicalMemory(ports.system);
  const int64_t maintainBytes = PercentOfBytes(memoryMaintain, total);
  const int32_t releaseMegabytes = GetReleaseMegabytes(memoryFree, total);

  // Memory test: a release is considered only at or below the threshold. Past here the processor
  // is sampled, so a tick with ample memory leaves the sampler alone.
  if (available > maintainBytes) {
    return;
  }

  const int32_t uptime = UptimeSeconds(ports.clock);

  // Every rule is evaluated; none cuts another short, so the processor is sampled even on ticks
  // that another rule blocks.
  bool allowed = true;

  if (processorLimit) {
    const int64_t usage = RoundToInt64(static_cast<long double>(
        GetProcessorUsage(state.processorSample, ports.processors, ports.system)));
    if (usage > processorTrigger) {
      allowed = false;
    }
  }

  if (batteryCheck && ACLineStatus(ports.system) == LineOffline) {
    allowed = false;
  }

  if (fullScreenCheck && fullScreen) {
    allowed = false;
  }

  if (!loadNimbello && !defragMemory) {
    allowed = false;
  }

  if (RoundToInt32(static_cast<long double>(uptime) / SecondsPerMinute) < LeastUptimeMinutes) {
    allowed = false;
  }

  if (!allowed) {
    return;
  }

  // Period rule, in 64-bit arithmetic: a huge period must not wrap into a negative one that lets
  // every tick through, nor a huge negative one into a long wait. 0 or a negative period lets
  // every tick through.
  const int64_t sinceLastRelease = int64_t{uptime} - state.lastReleaseTime;
  if (sinceLastRelease < int64_t{executePeriod} * SecondsPerMinute) {
    return;
  }

  // A fresh reading, taken before the first worker start: the release counts for the period rule
  // even when the worker cannot be started.
  state.lastReleaseTime = UptimeSeconds(ports.clock);
  if (ports.startGate != nullptr && !ports.startGate->MayStart()) {
    return;
  }
  RequestMemoryRelease(ports.launcher, releaseMegabytes);
}

// The tick's steps, any of which may raise a failure; the guard around them is the one place
// that ends the tick quietly.
struct Tick {
  ReleasePolicyState& state;
  const ReleasePolicyPorts& ports;

  void operator()() const {
    // The stamp comes on every tick, also before the service has been started.
    UpdateStamp(ports);
    if (!state.started.load()) {
      return;
    }
    DecideAndRelease(state, ports);
  }
};

}  // namespace

void MainTimerTimer(ReleasePolicyState& state, const ReleasePolicyPorts& ports) noexcept {
  // The tick's policy reads share one open of the policy key, none the next tick's.
  const PolicyReadBatch policies(ports.settings);
  guarded(Tick{state, ports});
}
