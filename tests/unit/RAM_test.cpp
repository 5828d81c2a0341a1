#include "foundation/RAM.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/fakes/FakeSystemInfo.h"

namespace {

TEST(PhysicalMemory, NegativeAndMissingFiguresAreZero) {
  FakeSystemInfo sys;
  sys.SetMemory(0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(GetTotalPhysicalMemory(sys), 0);
  EXPECT_EQ(GetAvailablePhysicalMemory(sys), 0);
  sys.SetMemory(0x7FFFFFFFFFFFFFFFull, 12345);
  EXPECT_EQ(GetTotalPhysicalMemory(sys), 0x7FFFFFFFFFFFFFFFll);
  EXPECT_EQ(GetAvailablePhysicalMemory(sys), 12345);
  sys.memory.reset();
  EXPECT_EQ(GetTotalPhysicalMemory(sys), 0);
  EXPECT_EQ(GetAvailablePhysicalMemory(sys), 0);
}

TEST(RAM, UsagePercentRoundsHalfToEven) {
  struct Case {
    int64_t total, available;
    std::optional<int32_t> percent;
  };
  const Case cases[] = {
      {200, 199, 0},        {200, 197, 2},        {200, 195, 2},
      {200, 193, 4},        {1000, 250, 75},      {100, 0, 100},
      {100, 100, 0},        {3, 1, 67},           {int64_t{1} << 62, int64_t{1} << 61, 50},
      {0, 0, std::nullopt}, {0, 5, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.total << " " << c.available);
    EXPECT_EQ(UsagePercent(c.total, c.available), c.percent);
  }
}

}  // namespace
