#include "foundation/win32/Win32Clock.h"

#include <stdexcept>
#include <string>

#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/WideText.h"

namespace {

// Sunday = 0, as SYSTEMTIME counts.
WORD DayOfWeek(int32_t year, int32_t month, int32_t day) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) {
    year -= 1;
  }
  return static_cast<WORD>((year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) %
                           7);
}

SYSTEMTIME ToSystemTime(const LocalDateTime& when) {
  if (when.month < 1 || when.month > 12 || when.year < 1601 || when.year > 30827) {
    throw std::range_error("date outside what Windows formats");
  }
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(when.year);
  st.wMonth = static_cast<WORD>(when.month);
  st.wDay = static_cast<WORD>(when.day);
  st.wDayOfWeek = DayOfWeek(when.year, when.month, when.day);
  st.wHour = static_cast<WORD>(when.hour);
  st.wMinute = static_cast<WORD>(when.minute);
  st.wSecond = static_cast<WORD>(when.second);
  st.wMilliseconds = static_cast<WORD>(when.millisecond);
  return st;
}

// The two-call pattern of the locale functions: ask for the length, then fill. A length of 0
// from either call is a failure of that function.
template <class Fill>
std::u16string LocaleText(Fill fill, const char* what) {
  const int length = fill(nullptr, 0);
  if (length <= 0) {
    throw std::runtime_error(what);
  }
  std::wstring buffer(static_cast<size_t>(length), L'\0');
  const int written = fill(buffer.data(), length);
  if (written <= 0) {
    throw std::runtime_error(what);
  }
  buffer.resize(static_cast<size_t>(written) - 1);  // without the terminating NUL
  return FromWide(buffer);
}

std::u16string LocaleInfo(LCTYPE item) {
  return LocaleText(
      [item](wchar_t* buffer, int size) {
        return GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, size);
      },
      "GetLocaleInfoW failed");
}

}  // namespace

Win32Clock::Win32Clock(TickSource source) {
  if (source == TickSource::Best) {
    // kernel32 is loaded in every process; its module handle needs no release.
    tick_count_64_ =
        BindFunction<TickCount64Fn>(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64");
  }
}

uint64_t Win32Clock::TickCount64() {
  if (tick_count_64_ != nullptr) {
    return tick_count_64_();
  }
  std::lock_guard<std::mutex> lock(extended_mutex_);
  return extended_.Extend(GetTickCount());
}

LocalDateTime Win32Clock::LocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::u16string Win32Clock::FormatShortDate(const LocalDateTime& when) {
  const SYSTEMTIME st = ToSystemTime(when);
  return LocaleText(
      [&st](wchar_t* buffer, int size) {
        return GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
      },
      "GetDateFormatW failed");
}

std::u16string Win32Clock::FormatLongTime(const LocalDateTime& when) {
  const SYSTEMTIME st = ToSystemTime(when);
  return LocaleText(
      [&st](wchar_t* buffer, int size) {
        return GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, size);
      },
      "GetTimeFormatW failed");
}

LocaleDateFormats Win32Clock::DateFormats() {
  LocaleDateFormats formats;
  formats.shortDate = LocaleInfo(LOCALE_SSHORTDATE);
  formats.longTime = LocaleInfo(LOCALE_STIMEFORMAT);
  formats.dateSeparator = LocaleInfo(LOCALE_SDATE);
  formats.timeSeparator = LocaleInfo(LOCALE_STIME);
  formats.amDesignator = LocaleInfo(LOCALE_S1159);
  formats.pmDesignator = LocaleInfo(LOCALE_S2359);
  return formats;
}

uint64_t Win32Clock::UtcFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

void Win32Clock::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}
