#pragma once
// Date-times as both programs store and compare them, and their text form in the settings: the
// writer's short date, a blank and its long time; the reader takes it apart with its own locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/ClockPort.h"

// Days since 1899-12-30 00:00, the time of day being the fraction of a day (OLE automation dates).
// Before that day the whole part counts backwards while the fraction still runs forwards, so
// -1.25 is 1899-12-29 06:00.
using DateTime = double;

// Calendar fields to a date-time. Throws std::range_error for fields that name no moment of the
// years 1 to 9999.
DateTime ToDateTime(const LocalDateTime& when);

// A date-time to calendar fields, to the nearest millisecond. Throws std::range_error outside the
// years 1 to 9999 (and for values that are not numbers).
LocalDateTime ToLocalDateTime(DateTime value);

// The short date, one blank and the long time of the clock's locale; the blank and the time are
// left out at exactly midnight.
std::u16string DateTimeToText(ClockPort& clock, const LocalDateTime& when);

// Reads a date with an optional time in the given locale's form: the date's numbers in the order
// of the short date pattern (M/D/Y, D/M/Y or Y/M/D) joined by the locale's date separator, then
// after blanks the hours, minutes and optional seconds joined by the time separator, with the
// locale's AM/PM designator before or after them. Surrounding blanks are ignored. Nothing when the
// text does not read; never throws.
std::optional<DateTime> TextToDateTime(std::u16string_view text, const LocaleDateFormats& formats);

// Whole days between two date-times, |a - b| with its fraction cut off; the order does not matter.
// Computed on whole milliseconds, so exactly 31 days apart gives 31 whatever the times of day.
// A difference beyond the 32-bit range gives the largest 32-bit number; a value that is not a
// number gives 0.
int32_t WholeDaysBetween(DateTime a, DateTime b);
