#include "service/win32/Win32EventLog.h"

#include "foundation/base/win32/WideText.h"

namespace {

// The message of the program's message table (resources/NimbelloServiceMessages.mc) whose text is
// the insertion string, so that the event viewer shows the entry's text as it is.
constexpr DWORD EventTextMessage = 1;

}  // namespace

void Win32EventLog::LogError(std::u16string_view text) {
  std::lock_guard lock(lock_);
  if (!handle_) {
    const std::wstring source = Wide(source_);
    handle_.reset(RegisterEventSourceW(nullptr, source.c_str()));
    if (!handle_) {
      return;
    }
  }
  // The text is an insertion string, never a format: a "%1" in it stays as it is.
  const std::wstring entry = Wide(text);
  const wchar_t* strings[] = {entry.c_str()};
  ReportEventW(handle_.get(), EVENTLOG_ERROR_TYPE, 0, EventTextMessage, nullptr, 1, 0, strings,
               nullptr);
}
