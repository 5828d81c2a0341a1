#include "worker/ReleaseWorker.h"

#include <gtest/gtest.h>

#include "foundation/CustomRegistry.h"
#include "foundation/Text.h"
#include "worker/ReleaseArgument.h"
#include "worker/ReleasePlanner.h"
#include "tests/fakes/FakeWorkerPorts.h"

namespace {

constexpr int64_t MB = FakeWorkerMachine::MB;

TEST(ReleaseArgument, SignAndDigitsThatFitOnly) {
  struct Case {
    std::u16string text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {u"1024", 1024},
      {u"+7", 7},
      {u"-3", -3},
      {u"0", 0},
      {u"0001024", 1024},
      {u"2147483647", INT32_MAX},
      {u"-2147483648", INT32_MIN},
      {u"2147483648", {}},
      {u"-2147483649", {}},
      {u"99999999999999999999", {}},
      {u"", {}},
      {u"+", {}},
      {u"-", {}},
      {u" 1024", {}},
      {u"1024 ", {}},
      {u"10.5", {}},
      {u"1,024", {}},
      {u"0x400", {}},
      {u"1e3", {}},
      {u"--1", {}},
      {u"\uFF11", {}},
      {u"/freemem", {}},
  };
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
  return {
      id, 1, 1000 + id, 500, static_cast<uint64_t>(workingSetMB * MB), priority, std::move(name)};
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
  };
  std::vector<ProcessRecord> before, after;
  for (const auto& r : rows) {
    before.push_back(r.process);
    after.push_back(r.process);
  }
  after[9].processorTime += 1;                     // busy.exe ran between the snapshots
  after[13].creationTime += 1;                     // reborn.exe: same id, another process
  after[15].parentId = 207;                        // the worker (208) was started by the tray
  after.push_back(Process(212, u"new.exe", 900));  // not in the first snapshot
  std::vector<TrimTarget> expected(4);
  for (const auto& r : rows) {
    if (r.rank >= 0) {
      expected[r.rank] = {r.process.id, r.process.creationTime, r.process.workingSet};
    }
  }
  EXPECT_EQ(PlanTrimming(before, after, {208, 209}), expected);
  // The foreground process is left out only while it is in front.
  EXPECT_EQ(PlanTrimming(before, after, {208, std::nullopt}).size(), 5u);
}

TEST(ReleasePlanner, StopsAtTargetBeforeDeadline) {
  EXPECT_EQ(ShouldStop(100, 100, 9000, 8000), StopReason::Target);
  EXPECT_EQ(ShouldStop(99, 100, 8000, 8000), StopReason::Deadline);
  EXPECT_EQ(ShouldStop(99, 100, 7999, 8000), StopReason::None);
}

// The release worker's run over the fake machine: six idle processes of 100 MB (ids 11..16).
TEST(ReleaseWorker, RunsUntilTargetOrDeadline) {
  struct Case {
    const char* what;
    std::u16string argument = u"400";
    bool memoryRises = true;
    bool privileged = true;
    uint64_t trimCost = 10;
    std::set<uint32_t> unopenable = {};
    int64_t modifiedMB = 0;
    TurnResult turn = TurnResult::Acquired;
    ReleaseExitCode code;
    std::vector<uint32_t> trimmed = {};
    int fileCacheTrims = 0, flushes = 0;
    int32_t freed = -1;  // -1: nothing recorded
    int32_t requested = 400;
  };
  const std::vector<uint32_t> all = {11, 12, 13, 14, 15, 16};
  const Case cases[] = {
      {.what = "target after four trims",
       .code = ReleaseExitCode::Reached,
       .trimmed = {11, 12, 13, 14},
       .freed = 400},
      {.what = "deadline",
       .trimCost = 3000,
       .code = ReleaseExitCode::Partial,
       .trimmed = {11, 12, 13},
       .freed = 300},
      {.what = "memory never rises",
       .memoryRises = false,
       .modifiedMB = 400,
       .code = ReleaseExitCode::Partial,
       .trimmed = all,
       .fileCacheTrims = 1,
       .flushes = 1,
       .freed = 0},
      {.what = "modified list too small to cover the shortfall",
       .memoryRises = false,
       .modifiedMB = 399,
       .code = ReleaseExitCode::Partial,
       .trimmed = all,
       .fileCacheTrims = 1,
       .freed = 0},
      {.what = "privileges refused",
       .memoryRises = false,
       .privileged = false,
       .modifiedMB = 400,
       .code = ReleaseExitCode::Partial,
       .trimmed = all,
       .freed = 0},
      {.what = "processes that cannot be opened",
       .unopenable = {12, 13},
       .code = ReleaseExitCode::Reached,
       .trimmed = {11, 14, 15, 16},
       .freed = 400},
      {.what = "abandoned turn counts",
       .turn = TurnResult::Abandoned,
       .code = ReleaseExitCode::Reached,
       .trimmed = {11, 12, 13, 14},
       .freed = 400},
      {.what = "cut to the total",
       .argument = u"+100000",
       .memoryRises = false,
       .code = ReleaseExitCode::Partial,
       .trimmed = all,
       .fileCacheTrims = 1,
       .freed = 0,
       .requested = 4096},
      {.what = "gave up waiting",
       .turn = TurnResult::TimedOut,
       .code = ReleaseExitCode::GaveUpWaiting,
       .freed = 0},
      {.what = "junk", .argument = u"12a", .code = ReleaseExitCode::NothingToDo},
      {.what = "zero", .argument = u"0", .code = ReleaseExitCode::NothingToDo},
      {.what = "negative", .argument = u"-3", .code = ReleaseExitCode::NothingToDo},
  };
  for (const auto& c : cases) {
    FakeWorkerMachine m;
    m.system.SetMemory(4096 * MB, 0);
    for (uint32_t id = 16; id >= 11; --id) {
      m.before.push_back(Process(id, u"app.exe", 100));
    }
    m.after = m.before;
    m.memoryRises = c.memoryRises;
    if (!c.privileged) {
      m.held.clear();
    }
    m.trimCost = c.trimCost;
    m.unopenable = c.unopenable;
    m.modifiedBytes = c.modifiedMB * MB;
    m.turnResult = c.turn;
    const std::u16string args[] = {c.argument};
    EXPECT_EQ(RunReleaseWorker(args, m.Ports()), c.code) << c.what;
    EXPECT_EQ(m.trimmed, c.trimmed) << c.what;
    EXPECT_EQ(m.fileCacheTrims, c.fileCacheTrims) << c.what;
    EXPECT_EQ(m.flushes, c.flushes) << c.what;
    const CustomRegistry settings(m.registry);
    const auto recorded = [&](std::u16string_view name) {
      return settings.ReadSettingInteger(Constants::SettingsRoot, Constants::LastReleaseKey, name,
                                         -1);
    };
    EXPECT_EQ(recorded(Constants::LastReleaseFreed), c.freed) << c.what;
    EXPECT_EQ(m.turnsEnded, c.turn != TurnResult::TimedOut && c.freed >= 0 ? 1 : 0) << c.what;
    if (c.freed >= 0) {
      EXPECT_EQ(recorded(Constants::LastReleaseRequested), c.requested) << c.what;
      EXPECT_EQ(m.backgrounds, 1) << c.what;
    }
  }
}

}  // namespace
