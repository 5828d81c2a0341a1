#pragma once
// A clock and locale set by the test: tick count, local time and date-time formats; records sleeps.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/ClockPort.h"

class FakeClock : public ClockPort {
 public:
  uint64_t tickCount = 0;
  // When set, successive tick readings take their values from here in order (then `tickCount`).
  std::vector<uint64_t> tickSequence;
  bool advanceOnSleep = true;  // a sleep moves the tick count on by its length
  LocalDateTime now{2024, 5, 6, 14, 30, 15, 0};
  uint64_t utcFileTime = 133'595'000'000'000'000;  // May 2024
  // en-US as Windows gives it.
  LocaleDateFormats formats{u"M/d/yyyy", u"h:mm:ss tt", u"/", u":", u"AM", u"PM"};
  std::vector<uint32_t> sleeps;
  int tickReads = 0;
  int nowReads = 0;

  uint64_t TickCount64() override {
    ++tickReads;
    if (!tickSequence.empty()) {
      tickCount = tickSequence.front();
      tickSequence.erase(tickSequence.begin());
    }
    return tickCount;
  }
  LocalDateTime LocalNow() override {
    ++nowReads;
    return now;
  }
  uint64_t UtcFileTime() override { return utcFileTime; }
  std::u16string FormatShortDate(const LocalDateTime& when) override {
    return FormatPicture(formats.shortDate, when, formats);
  }
  std::u16string FormatLongTime(const LocalDateTime& when) override {
    return FormatPicture(formats.longTime, when, formats);
  }
  LocaleDateFormats DateFormats() override { return formats; }
  void Sleep(uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    if (advanceOnSleep) {
      tickCount += milliseconds;
    }
  }

  // Some locales as Windows describes them.
  static LocaleDateFormats EnglishUS() {
    return {u"M/d/yyyy", u"h:mm:ss tt", u"/", u":", u"AM", u"PM"};
  }
  static LocaleDateFormats French() { return {u"dd/MM/yyyy", u"HH:mm:ss", u"/", u":", u"", u""}; }
  static LocaleDateFormats German() { return {u"dd.MM.yyyy", u"HH:mm:ss", u".", u":", u"", u""}; }
  static LocaleDateFormats Japanese() {
    return {u"yyyy/MM/dd", u"H:mm:ss", u"/", u":", u"\u5348\u524D", u"\u5348\u5F8C"};
  }
  static LocaleDateFormats Korean() {
    return {u"yyyy-MM-dd", u"tt h:mm:ss", u"-", u":", u"\uC624\uC804", u"\uC624\uD6C4"};
  }
  static LocaleDateFormats Hungarian() {
    return {u"yyyy. MM. dd.", u"H:mm:ss", u". ", u":", u"de.", u"du."};
  }

  // A date or time picture of GetDateFormatW/GetTimeFormatW: d dd M MM y yy yyyy h hh H HH m mm
  // s ss t tt and 'quoted' literals; every other character stands for itself.
  static std::u16string FormatPicture(std::u16string_view picture, const LocalDateTime& when,
                                      const LocaleDateFormats& formats);
};
