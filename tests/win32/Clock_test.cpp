// The clock adapter against the real kernel and locale functions: both tick sources, the stamp
// text of the process's locale and reading it back with that locale's own formats.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "foundation/DateTimeText.h"
#include "foundation/base/Text.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"

namespace {

using TickCount64Fn = ULONGLONG(WINAPI*)();

// GetTickCount64 looked up the way a test can, independently of the adapter.
ULONGLONG RealTickCount64() {
  const auto fn = reinterpret_cast<TickCount64Fn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  return fn != nullptr ? fn() : 0;
}

TEST(Win32Clock, BindsTheSixtyFourBitCountWhereWindowsHasIt) {
  Win32Clock best;
  ASSERT_TRUE(best.UsesTickCount64());  // every Windows the tests run on has it
  Win32Clock fallback(Win32Clock::TickSource::ExtendedTickCount);
  EXPECT_FALSE(fallback.UsesTickCount64());
}

TEST(Win32Clock, BothSourcesTellTheUptimeAndNeverGoBack) {
  for (const auto source :
       {Win32Clock::TickSource::Best, Win32Clock::TickSource::ExtendedTickCount}) {
    Win32Clock clock(source);
    const uint64_t before = RealTickCount64();
    const uint64_t first = clock.TickCount64();
    const uint64_t after = RealTickCount64();
    // The extended count starts from the 32-bit reading: equal to the 64-bit one modulo 2^32.
    EXPECT_GE(first & 0xFFFFFFFFu, before & 0xFFFFFFFFu) << static_cast<int>(source);
    EXPECT_LE(first & 0xFFFFFFFFu, after & 0xFFFFFFFFu) << static_cast<int>(source);
    uint64_t previous = first;
    for (int i = 0; i < 20; ++i) {
      Sleep(5);
      const uint64_t now = clock.TickCount64();
      ASSERT_GE(now, previous) << static_cast<int>(source);
      previous = now;
    }
    // At least 100 ms were slept; the count moves in steps of up to 16 ms, so one step may be
    // missing from either end's reading.
    EXPECT_GE(previous - first, 100u - 2 * 16u) << static_cast<int>(source);
    EXPECT_LT(previous - first, 10000u) << static_cast<int>(source);
  }
}

TEST(Win32Clock, LocalNowIsTheLocalTime) {
  Win32Clock clock;
  SYSTEMTIME st{};
  GetLocalTime(&st);
  const LocalDateTime now = clock.LocalNow();
  const DateTime expected = ToDateTime(
      {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds});
  EXPECT_LT(std::fabs(ToDateTime(now) - expected) * 86400.0, 2.0);
}

TEST(Win32Clock, StampTextReadsBackWithTheLocalesOwnFormats) {
  Win32Clock clock;
  const LocaleDateFormats formats = clock.DateFormats();
  ASSERT_FALSE(formats.shortDate.empty());
  ASSERT_FALSE(formats.longTime.empty());
  const LocalDateTime moments[] = {
      {2024, 5, 6, 14, 30, 15, 0}, {2024, 5, 6, 0, 0, 0, 0},    {2024, 12, 31, 0, 0, 1, 0},
      {2024, 2, 29, 12, 0, 0, 0},  {1999, 1, 2, 23, 59, 59, 0}, clock.LocalNow(),
  };
  for (LocalDateTime when : moments) {
    when.millisecond = 0;  // the long time shows whole seconds
    const std::u16string text = DateTimeToText(clock, when);
    const auto read = TextToDateTime(text, formats);
    ASSERT_TRUE(read.has_value()) << ToUtf8(text);
    EXPECT_EQ(*read, ToDateTime(when)) << ToUtf8(text);
  }
  // Exactly midnight: the short date alone, as GetDateFormatW gives it.
  const LocalDateTime midnight{2024, 5, 6, 0, 0, 0, 0};
  EXPECT_EQ(DateTimeToText(clock, midnight), clock.FormatShortDate(midnight));
  EXPECT_NE(DateTimeToText(clock, {2024, 5, 6, 0, 0, 1, 0}), clock.FormatShortDate(midnight));
}

TEST(Win32Clock, DatesWindowsCannotFormatAreFailures) {
  Win32Clock clock;
  EXPECT_THROW(clock.FormatShortDate({1500, 1, 1}), std::range_error);
  EXPECT_THROW(clock.FormatLongTime({2024, 13, 1}), std::range_error);
}

}  // namespace
