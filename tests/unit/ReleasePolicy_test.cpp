#include "service/ReleasePolicy.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "foundation/base/Text.h"
#include "foundation/base/TickCount.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeLauncher.h"
#include "tests/fakes/FakeProcessorInfo.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSystemInfo.h"

namespace {

constexpr uint64_t MB = 1024 * 1024;
constexpr uint64_t Wrap = 0x100000000ULL;  // 2^32 ms, where a 32-bit tick count wraps

using Args = std::vector<std::u16string>;

// A power status query that raises a failure instead of answering.
class ThrowingPowerSystemInfo : public FakeSystemInfo {
 public:
  bool throwOnPower = false;
  std::optional<uint8_t> QueryACLineStatus() override {
    if (throwOnPower) {
      throw std::runtime_error("power status");
    }
    return FakeSystemInfo::QueryACLineStatus();
  }
};

// Everything one service tick touches, with the service started, an hour of uptime and memory low
// enough that the memory test passes unless a test says otherwise.
struct Rig {
  FakeRegistry registry;
  CustomRegistry settings{registry};
  ThrowingPowerSystemInfo system;
  FakeLauncher launcher;
  FakeClock clock;
  FakeProcessorInfo processors;
  ReleasePolicyState state;
  ReleasePolicyPorts ports{settings, system, launcher, clock, processors};

  Rig() {
    state.started = true;
    clock.tickCount = 3600000;
    system.SetMemory(1024 * MB, 0);
    system.SetVersion(6, 1);
  }

  void Tick() { MainTimerTimer(state, ports); }

  // Ticks and returns the release worker's arguments of that tick only.
  Args TickArgs() {
    launcher.starts.clear();
    Tick();
    return launcher.WorkerArguments();
  }

  void SetUptimeSeconds(uint64_t seconds) { clock.tickCount = seconds * 1000; }

  // The processor sampler's next answer: the previous sample is put in place so that the next
  // call measures `idle` against `elapsed` on `count` processors.
  void NextProcessorUsage(uint8_t count, int64_t idle, int64_t elapsed) {
    state.processorSample = {1000000, 5000000};
    processors.processors = count;
    processors.Set(5000000 + elapsed, 1000000 + idle);
  }

  std::vector<std::u16string> RegistryNames(bool writes) const {
    std::vector<std::u16string> names;
    for (const auto& access : registry.log) {
      if (access.write == writes) {
        names.push_back(access.name);
      }
    }
    return names;
  }
};

const std::vector<std::u16string> TickReads = {
    u"Updated",          u"MemoryMaintain", u"MemoryFree",  u"ProcessorLimit",
    u"ProcessorTrigger", u"BatteryCheck",   u"FullScreen",  u"FullScreenCheck",
    u"ExecutePeriod",    u"LoadNimbello",   u"DefragMemory"};

TEST(ReleasePolicy, MemorySizesWithDefaultSettings) {
  struct Case {
    uint64_t total;
    uint64_t maintain;  // M
    Args arguments;
  };
  const Case cases[] = {
      {1024 * MB, 214748365, {u"410"}},
      {2048 * MB, 644245094, {u"1024", u"205"}},
      {4096 * MB, 1288490189, {u"1024", u"1024", u"410"}},
  };
  for (const auto& c : cases) {
    {
      Rig rig;
      rig.system.SetMemory(c.total, c.maintain + 1);  // one byte more than M
      EXPECT_EQ(rig.TickArgs(), Args{}) << c.total;
      EXPECT_EQ(rig.processors.queries, 0) << "no processor sample on ample memory";
      EXPECT_EQ(rig.clock.tickReads, 0) << "no uptime reading on ample memory";
    }
    Rig rig;
    rig.system.SetMemory(c.total, c.maintain);  // A = M passes
    EXPECT_EQ(rig.TickArgs(), c.arguments) << c.total;
    EXPECT_EQ(rig.state.lastReleaseTime, 3600);
    EXPECT_EQ(rig.launcher.starts.front().file, u"C:\\Program Files\\Nimbello\\NimbelloDefrag.exe");
  }
}

TEST(ReleasePolicy, MemoryMaintainAndMemoryFreeAsRead) {
  struct Case {
    const char* name;
    std::optional<uint32_t> maintain;
    std::optional<uint32_t> free;
    uint64_t total;
    uint64_t available;
    Args arguments;
  };
  const uint64_t gig = 1024 * MB;
  const Case cases[] = {
      {"maintain 0, available 0 passes", 0u, {}, gig, 0, {u"410"}},
      {"maintain 0, one byte available ends", 0u, {}, gig, 1, {}},
      {"negative maintain never passes", static_cast<uint32_t>(-1), {}, gig, 0, {}},
      {"maintain 100 passes with all free", 100u, {}, gig, gig, {u"410"}},
      {"maintain 150 passes with all free", 150u, {}, gig, gig, {u"410"}},
      {"free 0 starts once with 0", {}, 0u, gig, 0, {u"0"}},
      {"negative free starts once with it", {}, static_cast<uint32_t>(-3), 100 * MB, 0, {u"-3"}},
      {"free 150 is cut to the total", {}, 150u, gig, 0, {u"1024"}},
      {"both figures 0", {}, {}, 0, 0, {u"0"}},
  };
  for (const auto& c : cases) {
    Rig rig;
    if (c.maintain) {
      rig.registry.PutDword(u"MemoryMaintain", *c.maintain);
    }
    if (c.free) {
      rig.registry.PutDword(u"MemoryFree", *c.free);
    }
    rig.system.SetMemory(c.total, c.available);
    EXPECT_EQ(rig.TickArgs(), c.arguments) << c.name;
  }
}

TEST(ReleasePolicy, BothFiguresUnavailableReleaseZeroOncePerPeriod) {
  Rig rig;
  rig.system.memory = std::nullopt;
  std::vector<int32_t> releasedAt;
  for (uint64_t u = 3600; u < 3600 + 700; ++u) {
    rig.SetUptimeSeconds(u);
    const Args args = rig.TickArgs();
    if (!args.empty()) {
      EXPECT_EQ(args, Args{u"0"});
      releasedAt.push_back(static_cast<int32_t>(u));
    }
  }
  EXPECT_EQ(releasedAt, (std::vector<int32_t>{3600, 3900, 4200}));
}

TEST(ReleasePolicy, ProcessorRuleRoundsTheSamplerHalfToEven) {
  struct Case {
    const char* name;
    uint8_t processors;
    int64_t idle;
    int64_t elapsed;
    std::optional<uint32_t> trigger;
    bool released;
  };
  const Case cases[] = {
      // 20 processors, 3 idle throughout: 100 - 15 + 0.5 = 85.5, rounds to 86.
      {"85.5 blocks the default 85", 20, 30000000, 10000000, {}, false},
      {"85.5 passes 86", 20, 30000000, 10000000, 86u, true},
      // One processor idle 15.1 %: 85.4 rounds to 85.
      {"85.4 passes the default 85", 1, 1510000, 10000000, {}, true},
      // 25 processors, 4 idle: 84.5 rounds to 84.
      {"84.5 passes 84", 25, 40000000, 10000000, 84u, true},
      {"84.5 does not round up past 84", 25, 40000000, 10000000, 83u, false},
      {"busy machine blocks", 4, 0, 10000000, {}, false},
      {"trigger 100 lets a busy machine through", 4, 0, 10000000, 100u, true},
  };
  for (const auto& c : cases) {
    Rig rig;
    if (c.trigger) {
      rig.registry.PutDword(u"ProcessorTrigger", *c.trigger);
    }
    rig.NextProcessorUsage(c.processors, c.idle, c.elapsed);
    EXPECT_EQ(!rig.TickArgs().empty(), c.released) << c.name;
  }
}

TEST(ReleasePolicy, FirstProcessorSampleIsZeroAndProcessorLimitOffSamplesNothing) {
  Rig rig;
  rig.processors.Set(5000000, 0);  // a fully busy machine, but there is no previous sample
  EXPECT_EQ(rig.TickArgs(), Args{u"410"});

  Rig off;
  off.registry.PutDword(u"ProcessorLimit", 0);
  off.NextProcessorUsage(4, 0, 10000000);  // would block
  EXPECT_EQ(off.TickArgs(), Args{u"410"});
  EXPECT_EQ(off.processors.queries, 0);
}

TEST(ReleasePolicy, BatteryRule) {
  struct Case {
    const char* name;
    bool check;
    std::optional<uint8_t> line;
    bool throws;
    bool released;
    int queries;
  };
  const Case cases[] = {
      {"offline blocks", true, 0, false, false, 1},
      {"online passes", true, 1, false, true, 1},
      {"unknown passes", true, 255, false, true, 1},
      {"failed query counts as unknown", true, std::nullopt, false, true, 1},
      {"failure raised in the query is swallowed", true, 1, true, true, 0},
      {"check off: offline does not block", false, 0, false, true, 0},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.registry.PutDword(u"BatteryCheck", c.check ? 1 : 0);
    rig.system.acLineStatus = c.line;
    rig.system.throwOnPower = c.throws;
    EXPECT_EQ(!rig.TickArgs().empty(), c.released) << c.name;
    EXPECT_EQ(rig.system.powerQueries, c.queries) << c.name;
  }
}

TEST(ReleasePolicy, FullScreenAndStartRules) {
  struct Case {
    uint32_t fullScreen;
    uint32_t fullScreenCheck;
    uint32_t loadNimbello;
    uint32_t defragMemory;
    bool released;
  };
  const Case cases[] = {
      {1, 1, 1, 1, false}, {1, 0, 1, 1, true}, {0, 1, 1, 1, true},  {0, 0, 1, 1, true},
      {0, 1, 0, 1, true},  {0, 1, 1, 0, true}, {0, 1, 0, 0, false}, {1, 1, 0, 0, false},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.registry.PutDword(u"FullScreen", c.fullScreen);
    rig.registry.PutDword(u"FullScreenCheck", c.fullScreenCheck);
    rig.registry.PutDword(u"LoadNimbello", c.loadNimbello);
    rig.registry.PutDword(u"DefragMemory", c.defragMemory);
    EXPECT_EQ(!rig.TickArgs().empty(), c.released)
        << c.fullScreen << c.fullScreenCheck << c.loadNimbello << c.defragMemory;
  }
}

TEST(ReleasePolicy, RulesDoNotCutEachOtherShort) {
  // Every other rule blocks; the processor is still sampled and the power status still asked.
  Rig rig;
  rig.registry.PutDword(u"FullScreen", 1);
  rig.registry.PutDword(u"LoadNimbello", 0);
  rig.registry.PutDword(u"DefragMemory", 0);
  rig.registry.PutDword(u"BatteryCheck", 1);
  rig.system.acLineStatus = 0;
  rig.SetUptimeSeconds(10);
  rig.NextProcessorUsage(4, 40000000, 10000000);
  EXPECT_EQ(rig.TickArgs(), Args{});
  EXPECT_EQ(rig.state.processorSample.systemTime, 15000000);
  EXPECT_EQ(rig.state.processorSample.idleTime, 41000000);
  EXPECT_EQ(rig.system.powerQueries, 1);
  EXPECT_EQ(rig.state.lastReleaseTime, 0);
}

TEST(ReleasePolicy, UptimeRuleRoundsSecondsThenMinutes) {
  struct Case {
    uint64_t milliseconds;
    bool released;
  };
  const Case cases[] = {
      {0, false},     {269500, false}, {270499, false}, {270500, false},
      {270501, true}, {271000, true},  {300000, true},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.registry.PutDword(u"ExecutePeriod", 0);  // the period rule out of the way
    rig.clock.tickCount = c.milliseconds;
    EXPECT_EQ(!rig.TickArgs().empty(), c.released) << c.milliseconds;
  }
}

TEST(ReleasePolicy, PeriodRuleInSigned32BitSeconds) {
  struct Case {
    const char* name;
    std::optional<uint32_t> period;
    int32_t lastRelease;
    uint64_t uptime;
    bool released;
  };
  const Case cases[] = {
      {"1299 after a release at 1000", {}, 1000, 1299, false},
      {"1300 after a release at 1000", {}, 1000, 1300, true},
      {"first release needs U >= 300 from Windows start", {}, 0, 299, false},
      {"first release at U = 300", {}, 0, 300, true},
      {"period 0 right after a release", 0u, 1000, 1000, true},
      {"negative period right after a release", static_cast<uint32_t>(-5), 1000, 1000, true},
      {"period 10", 10u, 1000, 1599, false},
      {"period 10 elapsed", 10u, 1000, 1600, true},
      // Period × 60 beyond 32 bits (2147483700 s) must not wrap into "every tick".
      {"period whose seconds pass 32 bits", 35791395u, 1000, 1000, false},
      {"huge negative period", 0x80000000u, 1000, 1000, true},
  };
  for (const auto& c : cases) {
    Rig rig;
    if (c.period) {
      rig.registry.PutDword(u"ExecutePeriod", *c.period);
    }
    rig.state.lastReleaseTime = c.lastRelease;
    rig.SetUptimeSeconds(c.uptime);
    EXPECT_EQ(!rig.TickArgs().empty(), c.released) << c.name;
  }
}

TEST(ReleasePolicy, ReleaseTimeIsAFreshReadingTakenBeforeTheWorkerStarts) {
  Rig rig;
  // U for the rules, then the fresh reading for the release time.
  rig.clock.tickSequence = {1000000, 1002400};
  EXPECT_EQ(rig.TickArgs(), Args{u"410"});
  EXPECT_EQ(rig.state.lastReleaseTime, 1002);  // 1002.4 rounded, not U = 1000
  rig.SetUptimeSeconds(1301);
  EXPECT_EQ(rig.TickArgs(), Args{});  // 1301 - 1002 < 300
  rig.SetUptimeSeconds(1302);
  EXPECT_EQ(rig.TickArgs(), Args{u"410"});

  // A worker that cannot be started still counts for the period rule.
  Rig failing;
  failing.launcher.failStarts = true;
  failing.SetUptimeSeconds(5000);
  failing.Tick();
  EXPECT_EQ(failing.launcher.refused.size(), 1u);
  EXPECT_EQ(failing.state.lastReleaseTime, 5000);
  failing.launcher.failStarts = false;
  failing.SetUptimeSeconds(5001);
  EXPECT_EQ(failing.TickArgs(), Args{});
}

TEST(ReleasePolicy, UpdateStampOncePerSettingAlsoBeforeTheStart) {
  for (const bool started : {false, true}) {
    Rig rig;
    rig.state.started = started;
    rig.system.SetMemory(1024 * MB, 1024 * MB);  // nothing to release
    rig.registry.PutDword(u"Updated", 1);
    rig.Tick();
    EXPECT_EQ(rig.RegistryNames(true), (std::vector<std::u16string>{u"Updated", u"UpdatedDate"}));
    EXPECT_EQ(rig.registry.Dword(u"Updated"), 0u);
    EXPECT_EQ(ToUtf8(rig.registry.String(u"UpdatedDate")), "5/6/2024 2:30:15 PM");

    // Later ticks write nothing until the flag is set again.
    rig.registry.log.clear();
    rig.clock.now = {2024, 5, 7, 0, 0, 0, 0};
    rig.Tick();
    rig.Tick();
    EXPECT_EQ(rig.RegistryNames(true), std::vector<std::u16string>{});
    rig.registry.PutDword(u"Updated", 1);
    rig.Tick();
    EXPECT_EQ(ToUtf8(rig.registry.String(u"UpdatedDate")), "5/7/2024");  // midnight: no time
    EXPECT_EQ(rig.RegistryNames(true).size(), 2u);
  }
}

// A locale that cannot format the date, as a failing GetDateFormatW would.
class FailingFormatClock : public FakeClock {
 public:
  std::u16string FormatShortDate(const LocalDateTime&) override {
    throw std::runtime_error("GetDateFormatW failed");
  }
};

TEST(ReleasePolicy, FailingStampTextEndsOneTickOnly) {
  Rig rig;
  FailingFormatClock clock;
  clock.tickCount = 3600000;
  ReleasePolicyPorts ports{rig.settings, rig.system, rig.launcher, clock, rig.processors};
  rig.registry.PutDword(u"Updated", 1);
  MainTimerTimer(rig.state, ports);
  EXPECT_EQ(rig.registry.Dword(u"Updated"), 0u);
  EXPECT_EQ(rig.registry.Find(u"UpdatedDate"), nullptr);
  EXPECT_EQ(rig.launcher.starts.size(), 0u);  // the failure ended that tick
  // The flag does not stay set to end every later tick before the policy.
  MainTimerTimer(rig.state, ports);
  EXPECT_EQ(rig.launcher.WorkerArguments(), Args{u"410"});
}

TEST(ReleasePolicy, SettingsReadInOrderOnEveryTickPastTheGate) {
  struct Case {
    const char* name;
    bool started;
    uint64_t available;
    std::vector<std::u16string> reads;
    int memoryQueries;
  };
  const std::vector<std::u16string> gateOnly = {u"Updated"};
  const Case cases[] = {
      {"not started: the stamp only", false, 0, gateOnly, 0},
      {"ample memory", true, 1024 * MB, TickReads, 3},
      {"release", true, 0, TickReads, 3},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.state.started = c.started;
    rig.system.SetMemory(1024 * MB, c.available);
    for (int tick = 0; tick < 3; ++tick) {
      rig.registry.log.clear();
      rig.system.memoryQueries = 0;
      rig.Tick();
      EXPECT_EQ(rig.RegistryNames(false), c.reads) << c.name << " tick " << tick;
      EXPECT_EQ(rig.system.memoryQueries, c.memoryQueries) << c.name;
    }
  }
}

TEST(ReleasePolicy, ClassComesFromTheFirstTotalAndAmountsFromTheSecond) {
  // The first reading says large (defaults 30/60), the second gives the figures the defaults are
  // applied to.
  Rig rig;
  rig.system.memorySequence = {{2048 * MB, 0}, {1024 * MB, 0}, {1024 * MB, 322122547}};
  // M = 30 % of 1024 MB = 322122547 (rounded): A = M passes; F = 60 % gives 614 MB.
  EXPECT_EQ(rig.TickArgs(), Args{u"614"});
}

TEST(ReleasePolicy, UptimeGoesOnPastTheOld32BitWrap) {
  // A release 100 s before 2^32 ms; with a wrapping count U would fall back to 0 and, the last
  // release lying within the final period, releases would stop for good.
  Rig rig;
  rig.clock.tickCount = Wrap - 100000;
  EXPECT_EQ(rig.TickArgs(), Args{u"410"});
  EXPECT_EQ(rig.state.lastReleaseTime, 4294867);
  rig.clock.tickCount = Wrap + 1000;  // the uptime rule does not block again after the wrap
  EXPECT_EQ(rig.TickArgs(), Args{});
  rig.clock.tickCount = Wrap + 199000;
  EXPECT_EQ(rig.TickArgs(), Args{});
  rig.clock.tickCount = Wrap + 200000;  // 300 s after the release
  EXPECT_EQ(rig.TickArgs(), Args{u"410"});
  EXPECT_EQ(rig.state.lastReleaseTime, 4295167);
}

// The fallback for Windows without a 64-bit count: the 32-bit count, wrapping, carried on.
class Wrapping32BitClock : public FakeClock {
 public:
  uint64_t trueUptime = 0;
  uint64_t TickCount64() override { return extended.Extend(static_cast<uint32_t>(trueUptime)); }
  ExtendedTickCount extended;
};

TEST(ReleasePolicy, ExtendedCountKeepsReleasesGoingAcrossTheWrap) {
  Rig rig;
  Wrapping32BitClock clock;
  ReleasePolicyPorts ports{rig.settings, rig.system, rig.launcher, clock, rig.processors};
  rig.registry.PutDword(u"ProcessorLimit", 0);
  std::vector<uint64_t> releasedAt;
  // Once a second from 20 minutes before the wrap to 20 minutes after it.
  for (uint64_t s = Wrap / 1000 - 1200; s < Wrap / 1000 + 1200; ++s) {
    clock.trueUptime = s * 1000;
    rig.launcher.starts.clear();
    MainTimerTimer(rig.state, ports);
    if (!rig.launcher.starts.empty()) {
      releasedAt.push_back(s);
    }
  }
  // Every 300 s straight through the wrap at 4294967.296 s.
  std::vector<uint64_t> expected;
  for (uint64_t s = Wrap / 1000 - 1200; s < Wrap / 1000 + 1200; s += 300) {
    expected.push_back(s);
  }
  EXPECT_EQ(releasedAt, expected);
}

TEST(ReleasePolicy, UptimeBeyond32BitSecondsEndsTheTickQuietly) {
  Rig rig;
  rig.clock.tickCount = UINT64_MAX;
  rig.Tick();
  EXPECT_EQ(rig.launcher.starts.size(), 0u);
  EXPECT_EQ(rig.state.lastReleaseTime, 0);
}

}  // namespace
