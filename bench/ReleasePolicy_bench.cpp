// Cost of one service tick in the portable core, over ports that do next to nothing and never touch
// the heap: the ample-memory path (stamp check, settings, two memory readings, the memory test) and
// the release path (all rules with the processor sampler, the period rule, one worker start).
#include <cstdio>

#include "foundation/Constants.h"
#include "service/ReleasePolicy.h"
#include "support/AllocationCounter.h"
#include "support/StaticRegistry.h"
#include "tests/fakes/FakeClock.h"

namespace {

class SettableMemory final : public SystemInfoPort {
 public:
  MemoryStatus status{4ull << 30, 3ull << 30};
  std::optional<MemoryStatus> QueryMemoryStatus() override { return status; }
  std::optional<VersionRecord> QueryVersion(uint32_t) override { return VersionRecord{6, 1, 1}; }
  std::optional<uint8_t> QueryACLineStatus() override { return 1; }
};

// Counts starts instead of keeping them.
class CountingLauncher final : public LauncherPort {
 public:
  uint64_t starts = 0;
  std::u16string ProgramFolder() override { return u"C:\\Nimbello\\"; }
  void ShellOpen(bool, std::u16string_view, std::u16string_view) override { ++starts; }
  void HtmlHelpDisplayTopic(std::u16string_view) override {}
};

// Four processors, half busy, the clocks moving one second per query of the time.
class SteadyProcessors final : public ProcessorInfoPort {
 public:
  int64_t systemTime = 10000000;
  int64_t idleTime = 1;
  std::optional<uint8_t> QueryNumberOfProcessors() override { return 4; }
  std::optional<RecordInt64> QuerySystemTime() override {
    systemTime += 10000000;
    idleTime += 20000000;
    return Split(systemTime);
  }
  std::optional<RecordInt64> QueryIdleTime(PerformanceRecordLength) override {
    return Split(idleTime);
  }
  static RecordInt64 Split(int64_t value) {
    const auto bits = static_cast<uint64_t>(value);
    return {static_cast<uint32_t>(bits), static_cast<int32_t>(static_cast<uint32_t>(bits >> 32))};
  }
};

}  // namespace

int main() {
  bench::StaticRegistry registry;
  CustomRegistry settings(registry);
  SettableMemory system;
  CountingLauncher launcher;
  FakeClock clock;
  clock.tickCount = 3600000;
  SteadyProcessors processors;
  ReleasePolicyState state;
  state.started = true;
  const ReleasePolicyPorts ports{settings, system, launcher, clock, processors};

  std::printf("release policy tick, core only (static registry, fake ports)\n");

  // Default settings: 4 GB with 3 GB available is well above the 30 % threshold.
  bench::Measure("tick, ample memory (defaults)", 1000000, [&] { MainTimerTimer(state, ports); });

  // Stored settings, as a configured machine has them.
  registry.PutDword(Constants::MemoryMaintain, 30);
  registry.PutDword(Constants::MemoryFree, 60);
  registry.PutDword(Constants::ProcessorLimit, 1);
  registry.PutDword(Constants::ProcessorTrigger, 85);
  registry.PutDword(Constants::BatteryCheck, 1);
  registry.PutDword(Constants::FullScreen, 0);
  registry.PutDword(Constants::FullScreenCheck, 1);
  registry.PutDword(Constants::LoadNimbello, 1);
  registry.PutDword(Constants::DefragMemory, 1);
  registry.PutDword(Constants::Updated, 0);
  bench::Measure("tick, ample memory (stored settings)", 1000000,
                 [&] { MainTimerTimer(state, ports); });
  std::printf("policy key opens per tick without a policy key: %.2f\n",
              static_cast<double>(registry.keyOpens) / (2 * (1000000 + 1000000 / 10 + 1)));

  // The same with a policy key that fixes two of the values read.
  bench::StaticRegistry policy;
  policy.PutDword(Constants::MemoryMaintain, 30);
  policy.PutDword(Constants::ProcessorLimit, 1);
  registry.policy = &policy;
  bench::Measure("tick, ample memory (stored settings, policy key with 2 values)", 1000000,
                 [&] { MainTimerTimer(state, ports); });
  registry.policy = nullptr;

  // Low memory, every rule passes; the period rule blocks (the usual low-memory tick).
  system.status.availPhys = 1ull << 30;
  registry.PutDword(Constants::ExecutePeriod, 5);
  state.lastReleaseTime = 3600;
  bench::Measure("tick, low memory, within the period", 1000000,
                 [&] { MainTimerTimer(state, ports); });

  // Low memory and a period of 0: every tick releases 2458 MB (three worker starts).
  registry.PutDword(Constants::ExecutePeriod, 0);
  const uint64_t before = launcher.starts;
  bench::Measure("tick, release (3 worker starts)", 200000, [&] { MainTimerTimer(state, ports); });
  std::printf("worker starts per release tick: %.2f\n",
              static_cast<double>(launcher.starts - before) / (200000 + 200000 / 10 + 1));
  return launcher.starts == 0 ? 1 : 0;
}
