#include "foundation/DateTimeText.h"

#include <cmath>
#include <stdexcept>

#include "foundation/base/Guard.h"
#include "foundation/base/Rounding.h"
#include "foundation/base/Text.h"

namespace {

constexpr int64_t MillisecondsPerDay = 86400000;

// Day 0 of the date-times, 1899-12-30, counted from 1970-01-01.
constexpr int64_t DateTimeEpochDays = -25569;

constexpr int32_t FirstYear = 1;
constexpr int32_t LastYear = 9999;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
constexpr int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
  int64_t year;
  int64_t month;
  int64_t day;
};

constexpr CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr int64_t FirstMillisecond =
    (DaysFromCivil(FirstYear, 1, 1) - DateTimeEpochDays) * MillisecondsPerDay;
constexpr int64_t EndMillisecond =
    (DaysFromCivil(LastYear + 1, 1, 1) - DateTimeEpochDays) * MillisecondsPerDay;

constexpr bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int64_t DaysInMonth(int64_t year, int64_t month) {
  constexpr int64_t days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days on a straight line: the whole part of a date-time before day 0 counts backwards while its
// fraction runs forwards.
long double LinearDays(DateTime value) {
  const long double whole = std::trunc(static_cast<long double>(value));
  return whole + std::fabs(static_cast<long double>(value) - whole);
}

int64_t LinearMilliseconds(DateTime value) {
  if (!std::isfinite(value)) {
    throw std::range_error("date-time is not a number");
  }
  return RoundToInt64(LinearDays(value) * MillisecondsPerDay);
}

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// ---- Reading ----

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// The first of the day, month and year fields in the short date pattern decides; quoted literals
// do not count.
DateOrder DateOrderOf(std::u16string_view pattern) {
  bool quoted = false;
  for (const char16_t c : pattern) {
    if (c == u'\'') {
      quoted = !quoted;
    } else if (!quoted && c == u'd') {
      return DateOrder::DayMonthYear;
    } else if (!quoted && c == u'y') {
      return DateOrder::YearMonthDay;
    } else if (!quoted && c == u'M') {
      return DateOrder::MonthDayYear;
    }
  }
  return DateOrder::MonthDayYear;
}

// Locales put no-break spaces between the parts of a date or time.
constexpr std::u16string_view DateTimeBlanks = u" \t\u00A0\u202F";

bool IsBlank(char16_t c) {
  return DateTimeBlanks.find(c) != std::u16string_view::npos;
}

struct Number {
  int32_t value = 0;
  size_t digits = 0;
};

enum class Designator { None, Am, Pm };

class Cursor {
 public:
  explicit Cursor(std::u16string_view text) : rest_(text) {}

  bool AtEnd() const { return rest_.empty(); }

  bool SkipBlanks() {
    const size_t before = rest_.size();
    while (!rest_.empty() && IsBlank(rest_.front())) {
      rest_.remove_prefix(1);
    }
    return rest_.size() != before;
  }

  // Up to nine digits; more would not fit and name no valid field anyway.
  std::optional<Number> Digits() {
    Number n;
    while (!rest_.empty() && rest_.front() >= u'0' && rest_.front() <= u'9') {
      if (n.digits == 9) {
        return std::nullopt;
      }
      n.value = n.value * 10 + (rest_.front() - u'0');
      ++n.digits;
      rest_.remove_prefix(1);
    }
    if (n.digits == 0) {
      return std::nullopt;
    }
    return n;
  }

  bool StartsWithBlank() const { return !rest_.empty() && IsBlank(rest_.front()); }

  bool Take(std::u16string_view literal) {
    if (literal.empty() || !rest_.starts_with(literal)) {
      return false;
    }
    rest_.remove_prefix(literal.size());
    return true;
  }

  // A separator, with blanks allowed on either side of it. Nothing is taken when it is missing.
  bool Separator(std::u16string_view separator) {
    Cursor probe = *this;
    probe.SkipBlanks();
    if (!probe.Take(separator)) {
      return false;
    }
    probe.SkipBlanks();
    *this = probe;
    return true;
  }

  // The locale's designators, and the English ones, in any ASCII case; the longest match wins.
  Designator TakeDesignator(const LocaleDateFormats& formats) {
    const struct {
      std::u16string_view text;
      Designator meaning;
    } candidates[] = {{formats.amDesignator, Designator::Am},
                      {formats.pmDesignator, Designator::Pm},
                      {u"AM", Designator::Am},
                      {u"PM", Designator::Pm}};
    Designator found = Designator::None;
    size_t length = 0;
    for (const auto& candidate : candidates) {
      const std::u16string_view text = TrimBlanks(candidate.text, DateTimeBlanks);
      if (text.size() > length && text.size() <= rest_.size() &&
          EqualsIgnoreAsciiCase(rest_.substr(0, text.size()), text)) {
        found = candidate.meaning;
        length = text.size();
      }
    }
    rest_.remove_prefix(length);
    return found;
  }

 private:
  std::u16string_view rest_;
};

// Two-digit years fall in 1950 to 2049.
int32_t FullYear(const Number& year) {
  if (year.digits > 2) {
    return year.value;
  }
  return year.value < 50 ? 2000 + year.value : 1900 + year.value;
}

std::optional<LocalDateTime> ReadDateTime(std::u16string_view text,
                                          const LocaleDateFormats& formats) {
  const std::u16string_view dateSeparator = TrimBlanks(formats.dateSeparator, DateTimeBlanks);
  const std::u16string_view timeSeparator = TrimBlanks(formats.timeSeparator, DateTimeBlanks);
  if (dateSeparator.empty() || timeSeparator.empty()) {
    return std::nullopt;
  }
  Cursor cursor(text);
  cursor.SkipBlanks();

  Number fields[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !cursor.Separator(dateSeparator)) {
      return std::nullopt;
    }
    const auto n = cursor.Digits();
    if (!n) {
      return std::nullopt;
    }
    fields[i] = *n;
  }
  // Some short date patterns end with the separator ("yyyy. MM. dd.").
  {
    Cursor probe = cursor;
    probe.SkipBlanks();
    if (probe.Take(dateSeparator) && (probe.AtEnd() || probe.StartsWithBlank())) {
      cursor = probe;
    }
  }

  LocalDateTime when;
  switch (DateOrderOf(formats.shortDate)) {
    case DateOrder::MonthDayYear:
      when.month = fields[0].value;
      when.day = fields[1].value;
      when.year = FullYear(fields[2]);
      break;
    case DateOrder::DayMonthYear:
      when.day = fields[0].value;
      when.month = fields[1].value;
      when.year = FullYear(fields[2]);
      break;
    case DateOrder::YearMonthDay:
      when.year = FullYear(fields[0]);
      when.month = fields[1].value;
      when.day = fields[2].value;
      break;
  }

  const bool blankAfterDate = cursor.SkipBlanks();
  if (cursor.AtEnd()) {
    return when;
  }
  if (!blankAfterDate) {
    return std::nullopt;
  }

  Designator designator = cursor.TakeDesignator(formats);
  cursor.SkipBlanks();
  const auto hour = cursor.Digits();
  if (!hour || !cursor.Separator(timeSeparator)) {
    return std::nullopt;
  }
  const auto minute = cursor.Digits();
  if (!minute) {
    return std::nullopt;
  }
  std::optional<Number> second = Number{};
  if (cursor.Separator(timeSeparator)) {
    second = cursor.Digits();
    if (!second) {
      return std::nullopt;
    }
  }
  cursor.SkipBlanks();
  if (designator == Designator::None) {
    designator = cursor.TakeDesignator(formats);
    cursor.SkipBlanks();
  }
  if (!cursor.AtEnd()) {
    return std::nullopt;
  }

  when.hour = hour->value;
  when.minute = minute->value;
  when.second = second->value;
  if (designator != Designator::None) {
    if (when.hour > 12) {
      return std::nullopt;
    }
    // 12 AM is midnight, 12 PM noon.
    when.hour %= 12;
    if (designator == Designator::Pm) {
      when.hour += 12;
    }
  }
  return when;
}

}  // namespace

DateTime ToDateTime(const LocalDateTime& when) {
  if (when.year < FirstYear || when.year > LastYear || when.month < 1 || when.month > 12 ||
      when.day < 1 || when.day > DaysInMonth(when.year, when.month) || when.hour < 0 ||
      when.hour > 23 || when.minute < 0 || when.minute > 59 || when.second < 0 ||
      when.second > 59 || when.millisecond < 0 || when.millisecond > 999) {
    throw std::range_error("no such date-time");
  }
  const int64_t days = DaysFromCivil(when.year, when.month, when.day) - DateTimeEpochDays;
  const int64_t milliseconds =
      ((when.hour * 60LL + when.minute) * 60LL + when.second) * 1000LL + when.millisecond;
  const long double fraction = static_cast<long double>(milliseconds) / MillisecondsPerDay;
  return static_cast<DateTime>(days >= 0 ? days + fraction : days - fraction);
}

LocalDateTime ToLocalDateTime(DateTime value) {
  const int64_t linear = LinearMilliseconds(value);
  if (linear < FirstMillisecond || linear >= EndMillisecond) {
    throw std::range_error("date-time outside the years 1 to 9999");
  }
  const int64_t days = FloorDiv(linear, MillisecondsPerDay);
  int64_t rest = linear - days * MillisecondsPerDay;
  const CivilDate date = CivilFromDays(days + DateTimeEpochDays);
  LocalDateTime when;
  when.year = static_cast<int32_t>(date.year);
  when.month = static_cast<int32_t>(date.month);
  when.day = static_cast<int32_t>(date.day);
  when.millisecond = static_cast<int32_t>(rest % 1000);
  rest /= 1000;
  when.second = static_cast<int32_t>(rest % 60);
  rest /= 60;
  when.minute = static_cast<int32_t>(rest % 60);
  when.hour = static_cast<int32_t>(rest / 60);
  return when;
}

std::u16string DateTimeToText(ClockPort& clock, const LocalDateTime& when) {
  std::u16string text = clock.FormatShortDate(when);
  if (when.hour != 0 || when.minute != 0 || when.second != 0 || when.millisecond != 0) {
    text += u' ';
    text += clock.FormatLongTime(when);
  }
  return text;
}

std::optional<DateTime> TextToDateTime(std::u16string_view text, const LocaleDateFormats& formats) {
  return guarded_or<std::optional<DateTime>>(std::nullopt, [&]() -> std::optional<DateTime> {
    const auto when = ReadDateTime(text, formats);
    if (!when) {
      return std::nullopt;
    }
    return ToDateTime(*when);
  });
}

int32_t WholeDaysBetween(DateTime a, DateTime b) {
  if (std::isnan(a) || std::isnan(b)) {
    return 0;
  }
  const long double msA = RoundHalfEven(LinearDays(a) * MillisecondsPerDay);
  const long double msB = RoundHalfEven(LinearDays(b) * MillisecondsPerDay);
  const long double days = std::trunc(std::fabs(msA - msB) / MillisecondsPerDay);
  // Also catches the difference of two infinities, which is not a number.
  if (!(days < 2147483648.0L)) {
    return INT32_MAX;
  }
  return static_cast<int32_t>(days);
}
