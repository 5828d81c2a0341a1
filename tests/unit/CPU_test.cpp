#include "foundation/CPU.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/base/GrowingQuery.h"
#include "tests/fakes/FakeProcessorInfo.h"
#include "tests/fakes/FakeSystemInfo.h"

namespace {

constexpr int64_t Second = 10'000'000;  // in 100-ns units
constexpr int64_t Start = 132'000'000'000'000'000;

// One call of the sampler: what the records say and what it must return.
struct Step {
  int64_t systemTime;
  int64_t idleTime;
  double usage;
  std::optional<uint8_t> processors = 4;
  enum Failure { None, Basic, TimeOfDay, Performance } failure = None;
};

struct Sequence {
  std::string name;
  std::vector<Step> steps;
};

TEST(GetProcessorUsage, Sequences) {
  const std::vector<Sequence> sequences = {
      {"first call is 0 whatever the load", {{Start, 5 * Second, 0.0}}},
      {"three of four processors idle for a second",
       {{Start, 5 * Second, 0.0}, {Start + Second, 8 * Second, 25.5}}},
      {"all idle", {{Start, Second, 0.0}, {Start + Second, 5 * Second, 0.5}}},
      {"no idle time at all is clamped", {{Start, Second, 0.0}, {Start + Second, Second, 100.0}}},
      {"one processor half busy",
       {{Start, Second, 0.0, 1}, {Start + 2 * Second, 2 * Second, 50.5, 1}}},
      {"idle time running ahead of the clock is clamped to 0",
       {{Start, Second, 0.0}, {Start + Second, 10 * Second, 0.0}}},
      {"clock set back", {{Start, Second, 0.0}, {Start - 60 * Second, 3 * Second, 100.0}}},
      // A second of real time with the clock an hour ahead: the idle share is tiny, and with the
      // 0.5 added the usage passes 100.
      {"clock set forward by an hour",
       {{Start, Second, 0.0}, {Start + 3600 * Second, 5 * Second, 100.0}}},
      {"clock set forward by 39 seconds",
       {{Start, Second, 0.0}, {Start + 40 * Second, 5 * Second, 98.0}}},
      {"clock not advanced: 0, and the earlier sample stays",
       {{Start, Second, 0.0}, {Start, 2 * Second, 0.0}, {Start + Second, 5 * Second, 0.5}}},
      {"no processors: 0, and the earlier sample stays",
       {{Start, Second, 0.0},
        {Start + Second, 2 * Second, 0.0, 0},
        {Start + 2 * Second, 9 * Second, 0.5}}},
      {"no processors on the first call still records the sample",
       {{Start, Second, 0.0, 0}, {Start + Second, 5 * Second, 0.5}}},
      {"failed basic query keeps the sample",
       {{Start, Second, 0.0},
        {Start + Second, 3 * Second, 0.0, 4, Step::Basic},
        {Start + 2 * Second, 4 * Second, 63.0}}},
      {"failed time query keeps the sample",
       {{Start, Second, 0.0},
        {Start + Second, 3 * Second, 0.0, 4, Step::TimeOfDay},
        {Start + 2 * Second, 4 * Second, 63.0}}},
      {"failed performance query keeps the sample",
       {{Start, Second, 0.0},
        {Start + Second, 3 * Second, 0.0, 4, Step::Performance},
        {Start + 2 * Second, 4 * Second, 63.0}}},
      {"failure on the first call leaves no sample",
       {{Start, Second, 0.0, 4, Step::Performance}, {Start + Second, 2 * Second, 0.0}}},
      {"an idle time of 0 counts as no sample",
       {{Start, 0, 0.0}, {Start + Second, 2 * Second, 0.0}, {Start + 2 * Second, 6 * Second, 0.5}}},
      {"later calls measure from the previous successful one",
       {{Start, Second, 0.0},
        {Start + Second, 4 * Second, 25.5},
        {Start + 3 * Second, 4 * Second, 100.0},
        {Start + 4 * Second, 8 * Second, 0.5}}},
  };

  for (const auto& sequence : sequences) {
    FakeProcessorInfo processors;
    FakeSystemInfo system;
    system.SetVersion(6, 1);
    ProcessorSample sample;
    for (size_t i = 0; i < sequence.steps.size(); ++i) {
      const Step& step = sequence.steps[i];
      processors.Set(step.systemTime, step.idleTime);
      processors.processors = step.processors;
      if (step.failure == Step::Basic) {
        processors.processors.reset();
      } else if (step.failure == Step::TimeOfDay) {
        processors.systemTime.reset();
      } else if (step.failure == Step::Performance) {
        processors.idleTime.reset();
      }
      EXPECT_DOUBLE_EQ(GetProcessorUsage(sample, processors, system), step.usage)
          << sequence.name << ", call " << i + 1;
    }
  }
}

TEST(GetProcessorUsage, QueriesStopAtTheFirstFailure) {
  struct Case {
    Step::Failure failure;
    int queries;
  };
  for (const Case& c : {Case{Step::Basic, 1}, Case{Step::TimeOfDay, 2}, Case{Step::Performance, 3},
                        Case{Step::None, 3}}) {
    FakeProcessorInfo processors;
    FakeSystemInfo system;
    processors.Set(Start, Second);
    if (c.failure == Step::Basic) {
      processors.processors.reset();
    } else if (c.failure == Step::TimeOfDay) {
      processors.systemTime.reset();
    } else if (c.failure == Step::Performance) {
      processors.idleTime.reset();
    }
    ProcessorSample sample;
    GetProcessorUsage(sample, processors, system);
    EXPECT_EQ(processors.queries, c.queries) << c.failure;
    const bool stored = c.failure == Step::None;
    EXPECT_EQ(sample.idleTime, stored ? Second : 0) << c.failure;
    EXPECT_EQ(sample.systemTime, stored ? Start : 0) << c.failure;
  }
}

TEST(GetProcessorUsage, PerformanceRecordLengthFollowsTheVersionCode) {
  struct Case {
    std::optional<VersionRecord> version;
    PerformanceRecordLength length;
  };
  const Case cases[] = {
      {VersionRecord{5, 0, 1}, PerformanceRecordLength::Short},  // code 0
      {VersionRecord{5, 1, 1}, PerformanceRecordLength::Short},  // code 1
      {VersionRecord{6, 0, 3}, PerformanceRecordLength::Short},  // code 4
      {VersionRecord{6, 1, 1}, PerformanceRecordLength::Long},   // code 5
      {VersionRecord{6, 2, 1}, PerformanceRecordLength::Long},   // code -1: Windows 8
      {VersionRecord{10, 0, 1}, PerformanceRecordLength::Long},  // code -1: Windows 10
      {std::nullopt, PerformanceRecordLength::Long},             // failed: -1
  };
  for (const auto& c : cases) {
    FakeProcessorInfo processors;
    FakeSystemInfo system;
    system.versionEx = c.version;
    ProcessorSample sample;
    GetProcessorUsage(sample, processors, system);
    ASSERT_EQ(processors.idleQueries.size(), 1u);
    EXPECT_EQ(processors.idleQueries[0], c.length)
        << (c.version ? c.version->majorVersion : 0) << "."
        << (c.version ? c.version->minorVersion : 0);
  }
}

// Windows 10 refuses the short record: a busy second still shows as busy.
TEST(GetProcessorUsage, MeasuredWhereTheShortRecordIsRefused) {
  FakeProcessorInfo processors;
  processors.refusedLength = PerformanceRecordLength::Short;
  FakeSystemInfo system;
  system.SetVersion(10, 0);
  ProcessorSample sample;
  processors.Set(Start, Second);
  GetProcessorUsage(sample, processors, system);
  processors.Set(Start + Second, Second);
  EXPECT_DOUBLE_EQ(GetProcessorUsage(sample, processors, system), 100.0);
}

TEST(QueryGrowing, TriesLongerLengthsUpToTheBound) {
  struct Case {
    const char* what;
    uint32_t accepted;  // the shortest length the system takes; 0 for none
    uint32_t wanted;    // what a refusal says it needs
    uint32_t otherFailure;
    std::optional<uint32_t> result;
    std::vector<uint32_t> tries;
    Headroom headroom = Headroom::None;
  };
  const Case cases[] = {
      {"doubled", 1400, 0, 0, 2000, {1000, 2000}},
      {"the length asked for", 1400, 1400, 0, 1400, {1000, 1400}},
      {"the bound itself is tried last", 5000, 0, 0, 5000, {1000, 2000, 4000, 5000}},
      {"an asked length beyond the bound", 0, 90000, 0, std::nullopt, {1000, 5000}},
      {"another failure ends at once", 0, 0, 0xC0000022u, std::nullopt, {1000}},
      {"a quarter more than asked", 1400, 1400, 0, 1750, {1000, 1750}, Headroom::Quarter},
      {"headroom stops at the bound", 4500, 4400, 0, 5000, {1000, 5000}, Headroom::Quarter},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> tries;
    const auto result = QueryGrowing(
        1000, 5000,
        [&](uint32_t length) {
          tries.push_back(length);
          if (c.otherFailure != 0) {
            return QueryAnswer{c.otherFailure, 0};
          }
          return c.accepted != 0 && length >= c.accepted
                     ? QueryAnswer{}
                     : QueryAnswer{StatusInfoLengthMismatch, c.wanted};
        },
        c.headroom);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(tries, c.tries) << c.what;
  }
}

TEST(RecordValueToDouble, HighHalfSignedLowHalfUnsigned) {
  struct Case {
    RecordInt64 value;
    double expected;
  };
  const Case cases[] = {
      {{0, 0}, 0.0},
      {{0xFFFFFFFFu, 0}, 4294967295.0},
      {{0x80000000u, 0}, 2147483648.0},
      {{0, 1}, 4294967296.0},
      {{0xFFFFFFFFu, -1}, -1.0},
      {{0, -1}, -4294967296.0},
      {{0, 0x7FFFFFFF}, 2147483647.0 * 4294967296.0},
      {{0x00000001u, 0x00200000}, 9007199254740992.0},  // 2^53 + 1 rounds to even
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecordValueToDouble(c.value), c.expected) << c.value.low << " " << c.value.high;
  }
}

TEST(GetProcessorUsage, ValuesAreConvertedBeforeSubtracting) {
  // Beyond 2^53 the conversion loses the low bits: 2^53 + 1 becomes 2^53 and 2^53 + 3 becomes
  // 2^53 + 4, so the elapsed idle time is 4, not 2, and one processor was idle throughout.
  constexpr int64_t Big = int64_t{1} << 53;
  FakeProcessorInfo processors;
  processors.processors = 1;
  FakeSystemInfo system;
  ProcessorSample sample;
  // A small clock keeps the elapsed time exact.
  processors.Set(1000, Big + 1);
  GetProcessorUsage(sample, processors, system);
  processors.Set(1004, Big + 3);
  EXPECT_DOUBLE_EQ(GetProcessorUsage(sample, processors, system), 0.5);
  EXPECT_EQ(sample.idleTime, Big + 3);  // the raw value is kept
}

}  // namespace
