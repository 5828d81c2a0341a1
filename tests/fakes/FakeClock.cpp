#include "tests/fakes/FakeClock.h"

namespace {

std::u16string Number(int32_t value, size_t width) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  while (digits.size() < width) {
    digits.insert(digits.begin(), u'0');
  }
  return digits;
}

}  // namespace

std::u16string FakeClock::FormatPicture(std::u16string_view picture, const LocalDateTime& when,
                                        const LocaleDateFormats& formats) {
  std::u16string out;
  size_t i = 0;
  while (i < picture.size()) {
    const char16_t c = picture[i];
    if (c == u'\'') {
      // Quoted literal; two quotes inside stand for one.
      ++i;
      while (i < picture.size()) {
        if (picture[i] == u'\'') {
          if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
            out += u'\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) {
      ++run;
    }
    const size_t width = run >= 2 ? 2 : 1;
    const int32_t hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    const std::u16string& designator = when.hour < 12 ? formats.amDesignator : formats.pmDesignator;
    switch (c) {
      case u'd':
        out += Number(when.day, width);
        break;
      case u'M':
        out += Number(when.month, width);
        break;
      case u'y':
        out += run <= 2 ? Number(when.year % 100, run) : Number(when.year, 4);
        break;
      case u'h':
        out += Number(hour12, width);
        break;
      case u'H':
        out += Number(when.hour, width);
        break;
      case u'm':
        out += Number(when.minute, width);
        break;
      case u's':
        out += Number(when.second, width);
        break;
      case u't':
        out += run == 1 ? designator.substr(0, 1) : designator;
        break;
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}
