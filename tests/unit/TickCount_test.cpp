#include "foundation/base/TickCount.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint64_t Wrap = 0x100000000ULL;  // 2^32 ms, about 49.7 days

TEST(ExtendedTickCount, CarriesOnAcrossWraps) {
  struct Case {
    const char* name;
    std::vector<uint32_t> readings;
    std::vector<uint64_t> expected;
  };
  const Case cases[] = {
      {"first reading as it is", {123456}, {123456}},
      {"plain steps", {1000, 2000, 3000}, {1000, 2000, 3000}},
      {"one wrap, a second apart",
       {0xFFFFFE0Cu, 0x000001F4u},  // 2^32 - 500, then 500
       {Wrap - 500, Wrap + 500}},
      {"reading exactly 0 after the wrap",
       {0xFFFFFC18u, 0u, 1000u},
       {Wrap - 1000, Wrap, Wrap + 1000}},
      {"two wraps at readings weeks apart",
       {0xF0000000u, 0x10000000u, 0x80000000u, 0xF0000000u, 0x10000000u},
       {0xF0000000ULL, Wrap + 0x10000000ULL, Wrap + 0x80000000ULL, Wrap + 0xF0000000ULL,
        2 * Wrap + 0x10000000ULL}},
      {"a step of 2^31 or more counts as a late reading",
       {0x10000000u, 0x90000000u, 0x8FFFFFFFu},
       {0x10000000ULL, 0x10000000ULL, 0x8FFFFFFFULL}},
      {"a late reading from another thread does not go back",
       {5000, 4000, 6000},
       {5000, 5000, 6000}},
      {"a late reading across the wrap does not go back",
       {0x00000100u, 0xFFFFFF00u, 0x00000200u},
       {0x100, 0x100, 0x200}},
  };
  for (const auto& c : cases) {
    ExtendedTickCount count;
    std::vector<uint64_t> got;
    for (const uint32_t reading : c.readings) {
      got.push_back(count.Extend(reading));
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(ExtendedTickCount, MinuteReadingsOverFourMonths) {
  // Readings once a minute over 120 days: the extended count always equals the true uptime.
  ExtendedTickCount count;
  uint64_t uptime = 4000000000ULL;  // started shortly before the first wrap
  for (int minute = 0; minute < 120 * 24 * 60; ++minute) {
    ASSERT_EQ(count.Extend(static_cast<uint32_t>(uptime)), uptime) << minute;
    uptime += 60000;
  }
}

}  // namespace
