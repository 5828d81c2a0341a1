#include "foundation/DateTimeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "foundation/base/Text.h"
#include "tests/fakes/FakeClock.h"

namespace {

std::string Utf8(std::u16string_view text) {
  return ToUtf8(text);
}

TEST(DateTimeToText, ShortDateBlankLongTimeWithoutTimeAtMidnight) {
  struct Case {
    LocaleDateFormats formats;
    LocalDateTime when;
    std::u16string text;
  };
  const Case cases[] = {
      {FakeClock::EnglishUS(), {2024, 5, 6, 14, 30, 15, 0}, u"5/6/2024 2:30:15 PM"},
      {FakeClock::EnglishUS(), {2024, 5, 6, 0, 0, 0, 0}, u"5/6/2024"},
      {FakeClock::EnglishUS(), {2024, 5, 6, 0, 0, 1, 0}, u"5/6/2024 12:00:01 AM"},
      {FakeClock::EnglishUS(), {2024, 5, 6, 12, 0, 0, 0}, u"5/6/2024 12:00:00 PM"},
      // A millisecond past midnight is no longer exactly midnight.
      {FakeClock::EnglishUS(), {2024, 5, 6, 0, 0, 0, 1}, u"5/6/2024 12:00:00 AM"},
      {FakeClock::French(), {2024, 5, 6, 9, 5, 3, 0}, u"06/05/2024 09:05:03"},
      {FakeClock::French(), {2024, 12, 31, 0, 0, 0, 0}, u"31/12/2024"},
      {FakeClock::German(), {2024, 5, 6, 23, 59, 59, 0}, u"06.05.2024 23:59:59"},
      {FakeClock::Korean(), {2024, 5, 6, 14, 30, 15, 0}, u"2024-05-06 \uC624\uD6C4 2:30:15"},
  };
  for (const auto& c : cases) {
    FakeClock clock;
    clock.formats = c.formats;
    EXPECT_EQ(Utf8(DateTimeToText(clock, c.when)), Utf8(c.text));
  }
}

TEST(DateTimeText, WhatOneLocaleWritesItReadsBack) {
  const LocaleDateFormats locales[] = {FakeClock::EnglishUS(), FakeClock::French(),
                                       FakeClock::German(),    FakeClock::Japanese(),
                                       FakeClock::Korean(),    FakeClock::Hungarian()};
  const LocalDateTime moments[] = {
      {2024, 5, 6, 14, 30, 15, 0}, {2024, 5, 6, 0, 0, 0, 0},     {2024, 5, 6, 0, 0, 1, 0},
      {2024, 5, 6, 12, 0, 0, 0},   {2024, 2, 29, 23, 59, 59, 0}, {1999, 12, 31, 11, 59, 59, 0},
      {2031, 1, 1, 1, 2, 3, 0},
  };
  for (const auto& formats : locales) {
    FakeClock clock;
    clock.formats = formats;
    for (const auto& when : moments) {
      const std::u16string text = DateTimeToText(clock, when);
      const auto read = TextToDateTime(text, formats);
      ASSERT_TRUE(read.has_value()) << Utf8(text) << " in " << Utf8(formats.shortDate);
      EXPECT_EQ(*read, ToDateTime(when)) << Utf8(text);
    }
  }
}

TEST(TextToDateTime, ReadsLooseFormsAndRefusesWhatDoesNotRead) {
  struct Case {
    std::u16string text;
    LocaleDateFormats formats;
    std::optional<LocalDateTime> when;
  };
  const LocaleDateFormats us = FakeClock::EnglishUS();
  const LocaleDateFormats french = FakeClock::French();
  const Case cases[] = {
      {u"  5/6/2024  ", us, LocalDateTime{2024, 5, 6}},
      {u"5/6/24", us, LocalDateTime{2024, 5, 6}},
      {u"5/6/99", us, LocalDateTime{1999, 5, 6}},
      {u"5/6/2024 14:30", us, LocalDateTime{2024, 5, 6, 14, 30, 0}},
      {u"5/6/2024 2:30:15 pm", us, LocalDateTime{2024, 5, 6, 14, 30, 15}},
      {u"5/6/2024 12:00:00 AM", us, LocalDateTime{2024, 5, 6, 0, 0, 0}},
      {u"06/05/2024 09:05:03", french, LocalDateTime{2024, 5, 6, 9, 5, 3}},
      {u"2024. 05. 06. 14:30:15", FakeClock::Hungarian(), LocalDateTime{2024, 5, 6, 14, 30, 15}},
      // Another locale's separator does not read.
      {u"06.05.2024 09:05:03", french, std::nullopt},
      {u"", us, std::nullopt},
      {u"   ", us, std::nullopt},
      {u"yesterday", us, std::nullopt},
      {u"5/6", us, std::nullopt},
      {u"5/6/2024x", us, std::nullopt},
      {u"5/6/2024 14", us, std::nullopt},
      {u"5/6/2024 14:", us, std::nullopt},
      {u"5/6/2024 14:30:", us, std::nullopt},
      {u"5/6/2024 14:30:15 XM", us, std::nullopt},
      {u"5/6/2024 13:00 PM", us, std::nullopt},
      {u"13/6/2024", us, std::nullopt},
      {u"2/30/2024", us, std::nullopt},
      {u"2/29/2023", us, std::nullopt},
      {u"5/6/0", us, LocalDateTime{2000, 5, 6}},
      {u"5/6/10000", us, std::nullopt},
      {u"5/6/2024 24:00:00", us, std::nullopt},
      {u"5/6/2024 23:60:00", us, std::nullopt},
      {u"99999999999/1/2024", us, std::nullopt},
      {u"5/6/2024 0000000001:00", us, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto read = TextToDateTime(c.text, c.formats);
    if (c.when) {
      ASSERT_TRUE(read.has_value()) << Utf8(c.text);
      EXPECT_EQ(*read, ToDateTime(*c.when)) << Utf8(c.text);
    } else {
      EXPECT_FALSE(read.has_value()) << Utf8(c.text);
    }
  }
}

TEST(TextToDateTime, LocaleWithoutSeparatorsReadsNothing) {
  LocaleDateFormats broken = FakeClock::EnglishUS();
  broken.dateSeparator = u"";
  EXPECT_FALSE(TextToDateTime(u"5/6/2024", broken).has_value());
}

TEST(DateTimeValue, DaysSince30December1899) {
  struct Case {
    LocalDateTime when;
    DateTime value;
  };
  const Case cases[] = {
      {{1899, 12, 30}, 0.0},
      {{1900, 1, 1}, 2.0},
      {{2024, 5, 6, 12, 0, 0, 0}, 45418.5},
      {{2024, 5, 6, 18, 0, 0, 0}, 45418.75},
      // Before day 0 the whole part counts back while the fraction runs forward.
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
      {{1899, 12, 29, 18, 0, 0, 0}, -1.75},
      {{1, 1, 1}, -693593.0},
      {{9999, 12, 31}, 2958465.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToDateTime(c.when), c.value) << c.when.year << "-" << c.when.month;
    const LocalDateTime back = ToLocalDateTime(c.value);
    EXPECT_EQ(back, c.when) << c.value;
  }
}

TEST(DateTimeValue, RefusesWhatNamesNoMoment) {
  const LocalDateTime bad[] = {
      {2023, 2, 29},
      {2024, 13, 1},
      {2024, 0, 1},
      {2024, 4, 31},
      {0, 1, 1},
      {10000, 1, 1},
      {2024, 1, 1, 24, 0, 0},
      {2024, 1, 1, 0, 60, 0},
      {2024, 1, 1, 0, 0, 60},
      {2024, 1, 1, 0, 0, 0, 1000},
      {2024, 1, 1, -1, 0, 0},
  };
  for (const auto& when : bad) {
    EXPECT_THROW(ToDateTime(when), std::range_error) << when.year << "-" << when.month;
  }
  const DateTime outside[] = {2958466.0, -693594.0, std::nan(""),
                              std::numeric_limits<double>::infinity()};
  for (const DateTime value : outside) {
    EXPECT_THROW(ToLocalDateTime(value), std::range_error) << value;
  }
}

TEST(WholeDaysBetween, TruncatedAbsoluteDifference) {
  const DateTime base = ToDateTime({2024, 5, 6, 10, 0, 0, 0});
  struct Case {
    DateTime a;
    DateTime b;
    int32_t days;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {base, base, 0},
      {ToDateTime({2024, 6, 6, 10, 0, 0, 0}), base, 31},
      {base, ToDateTime({2024, 6, 6, 10, 0, 0, 0}), 31},
      {ToDateTime({2024, 6, 6, 9, 0, 0, 0}), base, 30},  // 30 days and 23 hours
      {ToDateTime({2024, 5, 6, 22, 0, 0, 0}), base, 0},  // 12 hours
      // 31 days apart at times of day whose fractions are not exact binary numbers.
      {ToDateTime({2024, 6, 6, 7, 13, 11, 0}), ToDateTime({2024, 5, 6, 7, 13, 11, 0}), 31},
      // Across day 0, where the whole part counts backwards.
      {ToDateTime({1899, 12, 29, 6, 0, 0, 0}), ToDateTime({1899, 12, 30, 18, 0, 0, 0}), 1},
      {ToDateTime({1, 1, 1}), ToDateTime({9999, 12, 31}), 3652058},
      {std::nan(""), base, 0},
      {base, std::nan(""), 0},
      {1e300, base, INT32_MAX},
      {inf, base, INT32_MAX},
      {inf, inf, INT32_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WholeDaysBetween(c.a, c.b), c.days) << c.a << " " << c.b;
  }
}

}  // namespace
