// The date-time text reader, over the locales the tests know and over locale descriptions taken
// from the input (a user can set odd formats). Besides not crashing or throwing: whatever reads is
// a moment of the years 1 to 9999, and a stamp written in a locale reads back, in that locale, as
// the moment it was written for (to the second, as the long time shows seconds).
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "foundation/DateTimeText.h"
#include "fuzz/FuzzSupport.h"
#include "tests/fakes/FakeClock.h"

namespace {

LocaleDateFormats KnownLocale(uint8_t which) {
  switch (which % 6) {
    case 0:
      return FakeClock::EnglishUS();
    case 1:
      return FakeClock::French();
    case 2:
      return FakeClock::German();
    case 3:
      return FakeClock::Japanese();
    case 4:
      return FakeClock::Korean();
    default:
      return FakeClock::Hungarian();
  }
}

std::u16string ShortText(FuzzedDataProvider& input, size_t maxLength) {
  const std::string bytes = input.ConsumeRandomLengthString(maxLength);
  return std::u16string(bytes.begin(), bytes.end());
}

LocaleDateFormats LocaleFromInput(FuzzedDataProvider& input) {
  LocaleDateFormats formats;
  formats.shortDate = ShortText(input, 16);
  formats.longTime = ShortText(input, 16);
  formats.dateSeparator = ShortText(input, 3);
  formats.timeSeparator = ShortText(input, 3);
  formats.amDesignator = ShortText(input, 4);
  formats.pmDesignator = ShortText(input, 4);
  return formats;
}

void CheckRead(std::u16string_view text, const LocaleDateFormats& formats) {
  const std::optional<DateTime> value = TextToDateTime(text, formats);
  if (value) {
    FUZZ_CHECK(std::isfinite(*value));
    const LocalDateTime fields = ToLocalDateTime(*value);  // throws outside the years 1 to 9999
    FUZZ_CHECK(fields.year >= 1 && fields.year <= 9999);
    FUZZ_CHECK(WholeDaysBetween(*value, 0.0) >= 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t choice = input.ConsumeIntegral<uint8_t>();
  const bool known = choice < 0xC0;
  const LocaleDateFormats formats = known ? KnownLocale(choice) : LocaleFromInput(input);

  if (known && input.ConsumeBool()) {
    // A stamp as the service writes it, read back by the tray in the same locale.
    FakeClock clock;
    clock.formats = formats;
    LocalDateTime when;
    when.year = input.ConsumeIntegralInRange<int32_t>(1, 9999);
    when.month = input.ConsumeIntegralInRange<int32_t>(1, 12);
    when.day = input.ConsumeIntegralInRange<int32_t>(1, 28);
    when.hour = input.ConsumeIntegralInRange<int32_t>(0, 23);
    when.minute = input.ConsumeIntegralInRange<int32_t>(0, 59);
    when.second = input.ConsumeIntegralInRange<int32_t>(0, 59);
    const std::u16string text = DateTimeToText(clock, when);
    const std::optional<DateTime> back = TextToDateTime(text, formats);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(ToLocalDateTime(*back) == when);
  }

  const std::string rest = input.ConsumeRemainingBytesAsString();
  CheckRead(std::u16string(rest.begin(), rest.end()), formats);
  CheckRead(Utf16FromBytes(std::span(reinterpret_cast<const uint8_t*>(rest.data()), rest.size())),
            formats);
  return 0;
}
