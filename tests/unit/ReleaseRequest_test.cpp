#include "foundation/ReleaseRequest.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "foundation/Shell.h"
#include "foundation/base/Rounding.h"
#include "tests/fakes/FakeLauncher.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSystemInfo.h"

namespace {

constexpr int64_t MB = 1024 * 1024;

TEST(MemoryClass, BoundaryRoundsHalfToEven) {
  struct Case {
    long double megabytes;
    bool large;
  };
  const Case cases[] = {{0, false},      {1024, false}, {1534.5L, false}, {1535.25L, false},
                        {1535.5L, true}, {1536, true},  {1536.5L, true},  {2048, true}};
  for (const auto& c : cases) {
    const auto bytes = static_cast<int64_t>(c.megabytes * MB);
    EXPECT_EQ(IsLargeMemoryClass(bytes), c.large) << static_cast<double>(c.megabytes);
  }
}

TEST(ReleaseAmount, DivisionFirstAndHalfToEven) {
  struct Case {
    int32_t percent;
    int64_t total;
    int64_t bytes;
    int32_t megabytes;
  };
  const Case cases[] = {
      {40, 1024 * MB, 429496730, 410},
      {60, 2048 * MB, 1288490189, 1229},
      {60, 4096 * MB, -1, 2458},
      {50, 1025 * MB, 537395200, 512},
      {50, 1027 * MB, -1, 514},
      {150, 1024 * MB, -1, 1024},
      {0, 4096 * MB, 0, 0},
      {40, 0, 0, 0},
      {-3, 100 * MB, -1, -3},
      {20, 1024 * MB, 214748365, 205},
  };
  for (const auto& c : cases) {
    if (c.bytes >= 0) {
      EXPECT_EQ(PercentOfBytes(c.percent, c.total), c.bytes) << c.percent << "% of " << c.total;
    }
    EXPECT_EQ(GetReleaseMegabytes(c.percent, c.total), c.megabytes)
        << c.percent << "% of " << c.total;
  }
}

TEST(ReleaseAmount, CutToTheTotalSoOneRequestStartsOneWorkerPerGigabyteAtMost) {
  const int32_t extremes[] = {std::numeric_limits<int32_t>::max(),
                              std::numeric_limits<int32_t>::min()};
  for (const int64_t total : {16LL * 1024 * MB, 16LL * 1024 * MB + 1, 1LL << 44}) {
    const int32_t most = GetReleaseMegabytes(extremes[0], total);
    EXPECT_EQ(most, RoundToInt32(static_cast<long double>(total) / MB)) << total;
    FakeLauncher launcher;
    RequestMemoryRelease(launcher, most);
    EXPECT_EQ(launcher.starts.size(), static_cast<size_t>((most + 1023) / 1024)) << total;
    EXPECT_EQ(GetReleaseMegabytes(extremes[1], total), extremes[1]) << total;  // one start, ignored
  }
  EXPECT_GT(PercentOfBytes(extremes[0], 1LL << 44), int64_t{1} << 62);  // saturates, no failure
}

TEST(RequestMemoryRelease, ChunksOf1024WithRemainderLast) {
  struct Case {
    int32_t megabytes;
    std::vector<std::u16string> arguments;
  };
  const std::vector<Case> cases = {
      {410, {u"410"}},
      {1229, {u"1024", u"205"}},
      {2458, {u"1024", u"1024", u"410"}},
      {1024, {u"1024"}},
      {1025, {u"1024", u"1"}},
      {2048, {u"1024", u"1024"}},
      {0, {u"0"}},
      {-3, {u"-3"}},
      {-2147483647 - 1, {u"-2147483648"}},
      {1536, {u"1024", u"512"}},
  };
  for (const auto& c : cases) {
    FakeLauncher launcher;
    RequestMemoryRelease(launcher, c.megabytes);
    EXPECT_EQ(launcher.WorkerArguments(), c.arguments) << c.megabytes;
    for (const auto& s : launcher.starts) {
      EXPECT_TRUE(s.owned);
      EXPECT_EQ(s.file, u"C:\\Program Files\\Nimbello\\NimbelloDefrag.exe");
    }
  }
}

TEST(RequestMemoryRelease, ManyChunksEndWithTheRemainder) {
  FakeLauncher launcher;
  RequestMemoryRelease(launcher, 1000000);
  const auto args = launcher.WorkerArguments();
  ASSERT_EQ(args.size(), 977u);
  EXPECT_EQ(args[975], u"1024");
  EXPECT_EQ(args.back(), u"576");
}

TEST(MemoryFreeNow, UsesClassDefaultOrSettingOnFreshTotal) {
  struct Case {
    const char* what;
    int64_t total;
    std::optional<uint32_t> memoryFree;
    std::vector<std::u16string> arguments;
  };
  const std::vector<Case> cases = {
      {"1 GB default", 1024 * MB, std::nullopt, {u"410"}},
      {"2 GB default", 2048 * MB, std::nullopt, {u"1024", u"205"}},
      {"4 GB default", 4096 * MB, std::nullopt, {u"1024", u"1024", u"410"}},
      {"no figure", 0, std::nullopt, {u"0"}},
      {"setting 50 on 1025 MB", 1025 * MB, 50u, {u"512"}},
      {"negative setting", 100 * MB, static_cast<uint32_t>(-3), {u"-3"}},
  };
  for (const auto& c : cases) {
    FakeRegistry reg;
    if (c.memoryFree) {
      reg.PutDword(u"MemoryFree", *c.memoryFree);
    }
    FakeSystemInfo sys;
    sys.SetMemory(static_cast<uint64_t>(c.total), 0);
    FakeLauncher launcher;
    MemoryFreeNow(CustomRegistry(reg), sys, launcher);
    EXPECT_EQ(launcher.WorkerArguments(), c.arguments) << c.what;
    EXPECT_EQ(sys.memoryQueries, 2) << c.what << ": class reading, then a fresh total";
  }
}

TEST(MemoryFreeNow, ClassFromFirstReadingAmountFromSecond) {
  FakeRegistry reg;
  FakeSystemInfo sys;
  sys.memorySequence = {{1024 * MB, 0}, {2048 * MB, 0}};
  FakeLauncher launcher;
  MemoryFreeNow(CustomRegistry(reg), sys, launcher);
  // Small class (40 %) applied to the second reading of 2048 MB.
  EXPECT_EQ(launcher.WorkerArguments(), (std::vector<std::u16string>{u"819"}));
}

TEST(MemoryFreeNow, FailingStartEndsQuietly) {
  FakeRegistry reg;
  FakeSystemInfo sys;
  sys.SetMemory(4096 * MB, 0);
  FakeLauncher launcher;
  // A refused start ends that start only: every chunk is still tried.
  launcher.failStarts = true;
  MemoryFreeNow(CustomRegistry(reg), sys, launcher);
  EXPECT_EQ(launcher.refused.size(), 3u);  // 2458 MB: 1024, 1024, 410
  // A failure before the first start ends the request, and nothing escapes to the caller.
  launcher.refused.clear();
  launcher.failFolder = true;
  MemoryFreeNow(CustomRegistry(reg), sys, launcher);
  EXPECT_TRUE(launcher.refused.empty());
  EXPECT_EQ(sys.memoryQueries, 4) << "the steps before the failure ran";
}

TEST(ShellHelp, LocationNamesTopicAndWindow) {
  FakeLauncher launcher;
  ShowHelpTopic(launcher, u"Nimbello.chm", u"/html/main.htm");
  ASSERT_EQ(launcher.helpTopics.size(), 1u);
  EXPECT_EQ(launcher.helpTopics[0],
            u"C:\\Program Files\\Nimbello\\Nimbello.chm::/html/main.htm>HelpWindow");
}

}  // namespace
