#include "worker/ReleaseWorker.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>
#include <set>

#include "foundation/CustomRegistry.h"
#include "foundation/LastRelease.h"
#include "foundation/ReleaseHistory.h"
#include "foundation/base/Text.h"
#include "worker/ReleaseArgument.h"
#include "worker/ReleasePlanner.h"
#include "worker/ReleaseTurnOwner.h"
#include "tests/fakes/FakeWorkerPorts.h"

namespace {

constexpr int64_t MB = FakeWorkerMachine::MB;

TEST(ReleaseArgument, SignAndDigitsThatFitOnly) {
  struct Case {
    std::u16string text;
    std::optional<int32_t> value;
  };
  // clang-format off
  const Case cases[] = {
      {u"1024", 1024}, {u"+7", 7}, {u"-3", -3}, {u"0", 0}, {u"0001024", 1024},
      {u"2147483647", INT32_MAX}, {u"-2147483648", INT32_MIN}, {u"2147483648", {}},
      {u"-2147483649", {}}, {u"99999999999999999999", {}}, {u"", {}}, {u"+", {}}, {u"-", {}},
      {u" 1024", {}}, {u"1024 ", {}}, {u"10.5", {}}, {u"1,024", {}}, {u"0x400", {}}, {u"1e3", {}},
      {u"--1", {}}, {u"\uFF11", {}}, {u"/freemem", {}},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(ParseReleaseArgument(c.text), c.value) << ToUtf8(c.text);
  }
  const std::u16string two[] = {u"1", u"2"};
  EXPECT_EQ(ParseReleaseArguments(std::span(two, 1)), 1);
  EXPECT_EQ(ParseReleaseArguments(two), std::nullopt);
  EXPECT_EQ(ParseReleaseArguments({}), std::nullopt);
  EXPECT_EQ(CutToTotalMemory(100000, 4096 * MB), 4096);
  EXPECT_EQ(CutToTotalMemory(1024, 4096 * MB), 1024);
  EXPECT_EQ(CutToTotalMemory(1024, 0), 1024);
}

ProcessRecord Process(uint32_t id, std::u16string name, int64_t workingSetMB,
                      int32_t priority = 8) {
  ProcessRecord p;
  p.id = id;
  p.parentId = 1;
  p.creationTime = 1000 + id;
  p.processorTime = 500;
  p.workingSet = static_cast<uint64_t>(workingSetMB * MB);
  p.basePriority = priority;
  p.name = std::move(name);
  return p;
}

TEST(ReleasePlanner, IdleLargeOrdinaryProcessesLargestFirst) {
  struct Row {
    ProcessRecord process;
    int rank;  // place in the plan, -1 when left out
  };
  std::vector<Row> rows = {
      {Process(0, u"Idle", 64), -1},
      {Process(4, u"System", 64), -1},
      {Process(90, u"Registry", 64), -1},
      {Process(100, u"csrss.exe", 50), -1},
      {Process(101, u"LSASS.EXE", 50), -1},
      {Process(102, u"Memory Compression", 500), -1},
      {Process(103, u"dwm", 90), -1},
      {Process(200, u"editor.exe", 100), 1},
      {Process(201, u"browser.exe", 300), 0},
      {Process(202, u"busy.exe", 400), -1},
      {Process(203, u"small.exe", 8), 3},
      {Process(204, u"tiny.exe", 7), -1},
      {Process(205, u"game.exe", 200, 13), -1},
      {Process(206, u"reborn.exe", 200), -1},
      {Process(207, u"NimbelloTray.exe", 150), -1},
      {Process(208, u"NimbelloDefrag.exe", 20), -1},
      {Process(209, u"front.exe", 250), -1},
      {Process(211, u"dwmhelper.exe", 20), 2},
      {Process(213, u"cycled.exe", 120), -1},
      {Process(214, u"Spared.EXE", 120), -1},
  };
  std::vector<ProcessRecord> before, after;
  for (const auto& r : rows) {
    before.push_back(r.process);
    after.push_back(r.process);
  }
  after[9].processorTime += 1;  // busy.exe ran between the snapshots
  after[13].creationTime += 1;  // reborn.exe: same id, another process
  after[15].parentId = 207;     // the worker (208) was started by the tray
  before[18].cycleTime = 5000;  // cycled.exe ran for less than a clock tick
  after[18].cycleTime = 5001;
  after.push_back(Process(212, u"new.exe", 900));  // not in the first snapshot
  std::vector<TrimTarget> expected(4);
  for (const auto& r : rows) {
    if (r.rank >= 0) {
      expected[r.rank] = {r.process.id, r.process.creationTime, r.process.workingSet};
    }
  }
  EXPECT_EQ(PlanTrimming(before, after, {208, 209, {u"spared.exe"}}), expected);
  // The foreground process is left out only while it is in front, a spared one while spared.
  EXPECT_EQ(PlanTrimming(before, after, {208, std::nullopt, {}}).size(), 6u);
}

TEST(ReleasePlanner, StopsAtTargetBeforeDeadline) {
  EXPECT_EQ(ShouldStop(100, 100, 9000, 8000), StopReason::Target);
  EXPECT_EQ(ShouldStop(99, 100, 8000, 8000), StopReason::Deadline);
  EXPECT_EQ(ShouldStop(99, 100, 7999, 8000), StopReason::None);
}

void SixIdleProcesses(FakeWorkerMachine& m) {
  m.system.SetMemory(4096 * MB, 0);
  for (uint32_t id = 16; id >= 11; --id) {
    m.before.push_back(Process(id, u"app.exe", 100));
  }
  m.after = m.before;
}

int32_t Recorded(FakeWorkerMachine& m, std::u16string_view name) {
  return CustomRegistry(m.registry)
      .ReadSettingInteger(Constants::SettingsRoot, Constants::LastReleaseKey, name, -1);
}

// The release worker's run over the fake machine: six idle processes of 100 MB (ids 11..16), 4 GB
// in all, every privilege held, a trim costing 10 ms.
TEST(ReleaseWorker, RunsUntilTargetOrDeadline) {
  using M = FakeWorkerMachine&;
  struct Case {
    const char* what;
    std::u16string argument;
    std::function<void(M)> setUp;
    ReleaseExitCode code;
    std::vector<uint32_t> trimmed;
    int fileCacheTrims, flushes;
    int32_t freed, requested;  // -1: nothing recorded
  };
  const std::vector<uint32_t> all = {11, 12, 13, 14, 15, 16};
  const auto still = [](M m) { m.memoryRises = false; };
  using enum ReleaseExitCode;
  // clang-format off
  const Case cases[] = {
      {"target after four trims", u"400", [](M) {}, Reached, {11, 12, 13, 14}, 0, 0, 400, 400},
      {"deadline", u"400", [](M m) { m.trimCost = 3000; }, Partial, {11, 12, 13}, 0, 0, 300, 400},
      {"memory never rises", u"400", [&](M m) { still(m); m.modifiedBytes = 400 * MB; },
       Partial, all, 1, 1, 0, 400},
      {"modified list short of the shortfall", u"400",
       [&](M m) { still(m); m.modifiedBytes = 399 * MB; }, Partial, all, 1, 0, 0, 400},
      {"privileges refused", u"400",
       [&](M m) { still(m); m.held.clear(); m.modifiedBytes = 400 * MB; }, Partial, all, 0, 0, 0, 400},
      {"processes that cannot be opened", u"400", [](M m) { m.unopenable = {12, 13}; },
       Reached, {11, 14, 15, 16}, 0, 0, 400, 400},
      {"abandoned turn", u"400", [](M m) { m.turnAtOnce = TurnResult::Abandoned; },
       Reached, {11, 12, 13, 14}, 0, 0, 400, 400},
      {"cut to the total", u"+100000", still, Partial, all, 1, 0, 0, 4096},
      {"gave up waiting", u"400",
       [](M m) { m.turnAtOnce = m.turnLater = TurnResult::TimedOut; },
       GaveUpWaiting, {}, 0, 0, 0, 400},
      {"junk", u"12a", [](M) {}, NothingToDo, {}, 0, 0, -1, -1},
      {"zero", u"0", [](M) {}, NothingToDo, {}, 0, 0, -1, -1},
      {"negative", u"-3", [](M) {}, NothingToDo, {}, 0, 0, -1, -1},
  };
  // clang-format on
  for (const auto& c : cases) {
    FakeWorkerMachine m;
    SixIdleProcesses(m);
    c.setUp(m);
    const std::u16string args[] = {c.argument};
    EXPECT_EQ(RunReleaseWorker(args, m.Ports()), c.code) << c.what;
    EXPECT_EQ(m.trimmed, c.trimmed) << c.what;
    EXPECT_EQ(m.fileCacheTrims, c.fileCacheTrims) << c.what;
    EXPECT_EQ(m.flushes, c.flushes) << c.what;
    EXPECT_EQ(Recorded(m, Constants::LastReleaseFreed), c.freed) << c.what;
    EXPECT_EQ(Recorded(m, Constants::LastReleaseRequested), c.requested) << c.what;
    EXPECT_EQ(m.turnsEnded, c.code == Reached || c.code == Partial ? 1 : 0) << c.what;
    EXPECT_EQ(m.backgrounds, c.code == NothingToDo ? 0 : 1) << c.what;
  }
}

// However many workers start, one works and one waits; the waiting one works toward what the
// others handed on; one that finds the turn free within 30 s of the last run's end does nothing.
// LastRelease's Time is whatever a user may have written, as seconds before the fake's now.
TEST(ReleaseWorker, BoundedAndCooledDown) {
  constexpr int64_t Second = 10'000'000, None = INT64_MIN;
  struct Case {
    const char* what;
    std::u16string argument;
    TurnPlace place;
    bool turnFree;
    int64_t lastEndedAgo;  // in FILETIME ticks; None: no Time; negative: in the future
    uint32_t handedOnMeanwhile;
    ReleaseExitCode code;
    size_t trims;
    uint32_t handedOn;
    int32_t requested;  // recorded, -1: nothing
  };
  constexpr auto W = TurnPlace::Waiting;
  using enum ReleaseExitCode;
  // clang-format off
  const Case cases[] = {
      {"another waits: hand on", u"300", TurnPlace::Occupied, true, None, 0, HandedOn, 0, 300, -1},
      {"hand on at most the total", u"100000", TurnPlace::Occupied, true, None, 0, HandedOn, 0, 4096, -1},
      {"no turn to join", u"300", TurnPlace::Unavailable, true, None, 0, NoTurn, 0, 0, -1},
      {"ended 10 s ago", u"400", W, true, 10 * Second, 0, CoolingDown, 0, 0, -1},
      {"ended 29.9 s ago", u"400", W, true, 299 * Second / 10, 0, CoolingDown, 0, 0, -1},
      {"ended 30 s ago", u"400", W, true, 30 * Second, 0, Reached, 4, 0, 400},
      {"a Time in the future is none", u"400", W, true, -3650 * 86400 * Second, 0, Reached, 4, 0, 400},
      {"a later chunk of a request waits", u"400", W, false, Second, 0, Reached, 4, 0, 400},
      {"works toward what was handed on", u"100", W, true, None, 300, Reached, 4, 0, 400},
      {"the sum cut to the total", u"1024", W, true, None, 0x7FFFFFFF, Partial, 6, 0, 4096},
  };
  // clang-format on
  for (const auto& c : cases) {
    FakeWorkerMachine m;
    SixIdleProcesses(m);
    m.place = c.place;
    m.turnAtOnce = c.turnFree ? TurnResult::Acquired : TurnResult::TimedOut;
    m.handedOnMeanwhile = c.handedOnMeanwhile;
    if (c.lastEndedAgo != None) {
      const uint64_t time = m.UtcFileTime() - static_cast<uint64_t>(c.lastEndedAgo);
      std::array<std::byte, 8> bytes{};
      for (size_t i = 0; i < 8; ++i) {
        bytes[i] = static_cast<std::byte>(time >> (8 * i));
      }
      m.registry.SetValue(Constants::SettingsRoot, Constants::LastReleaseKey,
                          Constants::LastReleaseTime, RegType::Qword, bytes);
    }
    const std::u16string args[] = {c.argument};
    EXPECT_EQ(RunReleaseWorker(args, m.Ports()), c.code) << c.what;
    EXPECT_EQ(m.trimmed.size(), c.trims) << c.what;
    EXPECT_EQ(m.handedOn, c.handedOn) << c.what;
    EXPECT_EQ(Recorded(m, Constants::LastReleaseRequested), c.requested) << c.what;
    // Every place taken is given back.
    EXPECT_EQ(m.placesLeft, c.place == W ? 1 : 0) << c.what;
    EXPECT_EQ(m.turnsEnded, c.place == W ? 1 : 0) << c.what;
  }
}

// Only objects that a standard user cannot have made belong to a privileged worker's turn.
TEST(ReleaseTurnOwner, SystemOrAdministratorsOnly) {
  const std::pair<std::optional<std::u16string_view>, bool> rows[] = {
      {u"S-1-5-18", true},
      {u"S-1-5-32-544", true},
      {u"S-1-5-21-1-2-3-1001", false},
      {u"S-1-5-32-545", false},
      {u"S-1-1-0", false},
      {u"S-1-5-19", false},
      {u"S-1-5-18-1", false},
      {u"", false},
      {std::nullopt, false},
  };
  for (const auto& [owner, accepted] : rows) {
    EXPECT_EQ(IsTurnOwner(owner), accepted) << (owner ? ToUtf8(std::u16string(*owner)) : "none");
  }
}

// Every trim's outcome counts once: trimmed, refused (not opened, or the call failed), or neither
// (a hard minimum kept on purpose). Memory never rises, so every planned process is tried.
TEST(ReleaseWorker, RecordsTrimmedAndRefused) {
  struct Case {
    const char* what;
    std::set<uint32_t> unopenable, hardMinimum, failing;
    int32_t trimmed, refused;
  };
  const Case cases[] = {
      {"all trimmed", {}, {}, {}, 6, 0},
      {"not opened and failed are refused", {11, 12}, {}, {16}, 3, 3},
      {"a hard minimum is neither", {}, {13, 14}, {}, 4, 0},
  };
  for (const Case& c : cases) {
    FakeWorkerMachine m;
    m.system.SetMemory(4096 * MB, 0);
    m.memoryRises = false;
    for (uint32_t id = 11; id <= 16; ++id) {
      m.before.push_back(Process(id, u"app.exe", 100));
    }
    m.after = m.before;
    m.unopenable = c.unopenable;
    m.hardMinimum = c.hardMinimum;
    m.failing = c.failing;
    const std::u16string args[] = {u"400"};
    RunReleaseWorker(args, m.Ports());
    const CustomRegistry settings(m.registry);
    const auto recorded = [&](std::u16string_view name) {
      return settings.ReadSettingInteger(Constants::SettingsRoot, Constants::LastReleaseKey, name,
                                         -1);
    };
    EXPECT_EQ(recorded(Constants::LastReleaseTrimmed), c.trimmed) << c.what;
    EXPECT_EQ(recorded(Constants::LastReleaseRefused), c.refused) << c.what;
  }
}

}  // namespace

// The window after a release, over two trimmed processes of 100 MB (ids 11 and 12): their working
// sets right after the trims and a window later, matched by id and creation time. Regrowth counts
// up to each one's own drop; 32-bit fault counters may wrap once; a new release cuts the window.
TEST(ReleaseWorker, MeasuresWhatCameBackWithinTheWindow) {
  struct Case {
    const char* what;
    std::function<void(std::vector<ProcessRecord>& trims, std::vector<ProcessRecord>& later)> set;
    uint64_t announcedAfter;
    std::vector<uint32_t> figures;  // dropped, regrown (MB), faults, hard faults, window (s)
  };
  const auto size = [](ProcessRecord& p, int64_t mb) { p.workingSet = mb * MB; };
  // clang-format off
  const Case cases[] = {
      {"matching", [](auto&, auto&) {}, UINT64_MAX, {140, 30, 10, 3, 60}},
      {"regrowth capped at the drop", [&](auto&, auto& l) { size(l[0], 150); },
       UINT64_MAX, {140, 80, 10, 3, 60}},
      {"grown meanwhile gave up nothing", [&](auto& t, auto& l) { size(t[1], 120); size(l[1], 130); },
       UINT64_MAX, {80, 30, 10, 3, 60}},
      {"reused id", [](auto&, auto& l) { l[1].creationTime += 1; }, UINT64_MAX, {80, 30, 10, 3, 60}},
      {"exited", [](auto&, auto& l) { l.pop_back(); }, UINT64_MAX, {80, 30, 10, 3, 60}},
      {"counters wrapped", [](auto& t, auto& l) {
         t[0].pageFaults = 0xFFFF'FFF0u; l[0].pageFaults = 0x10; t[0].hardFaults = UINT32_MAX;
         l[0].hardFaults = 1; }, UINT64_MAX, {140, 30, 0x20, 2, 60}},
      {"window cut short", [](auto&, auto&) {}, 4200, {140, 30, 10, 3, 5}},
  };
  // clang-format on
  for (const Case& c : cases) {
    FakeWorkerMachine m;
    m.system.SetMemory(4096 * MB, 0);
    m.before = {Process(11, u"a.exe", 100), Process(12, u"b.exe", 100)};
    m.after = m.before;
    std::vector<ProcessRecord> trims = m.before, later = m.before;
    size(trims[0], 20);
    size(trims[1], 40);
    size(later[0], 50);
    size(later[1], 40);
    later[0].pageFaults = 10;
    later[0].hardFaults = 3;
    c.set(trims, later);
    m.afterTrims = trims;
    m.later = later;
    m.announcedAfter = c.announcedAfter;
    const std::u16string args[] = {u"400"};
    RunReleaseWorker(args, m.Ports());
    const auto record = ReadLastRelease(m.registry, m.UtcFileTime(), 4096 * MB);
    ASSERT_TRUE(record) << c.what;
    EXPECT_EQ(std::vector<uint32_t>({record->dropped, record->regrown, record->faults,
                                     record->hardFaults, record->window}),
              c.figures)
        << c.what;
    EXPECT_EQ(ReadReleaseHistory(m.registry, m.UtcFileTime(), 4096 * MB).size(), 1u) << c.what;
    ASSERT_EQ(m.events.size(), 1u) << c.what;
    EXPECT_EQ(m.events[0][6], record->dropped) << c.what;
    EXPECT_EQ(m.measuringLeft, 1) << c.what;
  }
}
