#pragma once
// Time as the programs see it: uptime, the local clock and the locale's date and time texts.
#include <cstdint>
#include <string>

struct LocalDateTime {
  int32_t year = 0;
  int32_t month = 0;   // 1..12
  int32_t day = 0;     // 1..31
  int32_t hour = 0;    // 0..23
  int32_t minute = 0;  // 0..59
  int32_t second = 0;  // 0..59
  int32_t millisecond = 0;
  bool operator==(const LocalDateTime&) const = default;
};

// What a reader needs to take a date-time text apart in the locale's own form.
struct LocaleDateFormats {
  std::u16string shortDate;  // e.g. "M/d/yyyy" (LOCALE_SSHORTDATE)
  std::u16string longTime;   // e.g. "h:mm:ss tt" (LOCALE_STIMEFORMAT)
  std::u16string dateSeparator = u"/";
  std::u16string timeSeparator = u":";
  std::u16string amDesignator = u"AM";
  std::u16string pmDesignator = u"PM";
};

class ClockPort {
 public:
  virtual ~ClockPort() = default;

  // Milliseconds since Windows started; 64 bits, so it does not wrap after 49.7 days.
  virtual uint64_t TickCount64() = 0;

  virtual LocalDateTime LocalNow() = 0;
  // Now as a FILETIME in UTC, the form of the release worker's record times.
  virtual uint64_t UtcFileTime() = 0;

  // GetDateFormatW with DATE_SHORTDATE and GetTimeFormatW with the long time format, in the
  // process's locale.
  virtual std::u16string FormatShortDate(const LocalDateTime& when) = 0;
  virtual std::u16string FormatLongTime(const LocalDateTime& when) = 0;

  virtual LocaleDateFormats DateFormats() = 0;

  virtual void Sleep(uint32_t milliseconds) = 0;
};
