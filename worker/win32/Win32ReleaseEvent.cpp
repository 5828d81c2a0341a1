#include "worker/win32/Win32ReleaseEvent.h"

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/Constants.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"

void Win32ReleaseEvent::ReportMeasuredRelease(std::span<const uint32_t> figures) {
  const std::wstring source = Wide(Constants::ServiceName);
  const UniqueEventSource log(RegisterEventSourceW(nullptr, source.c_str()));
  if (!log) {
    return;
  }
  std::vector<std::wstring> texts;
  for (const uint32_t figure : figures) {
    texts.push_back(std::to_wstring(figure));
  }
  std::vector<const wchar_t*> strings;
  for (const std::wstring& text : texts) {
    strings.push_back(text.c_str());
  }
  ReportEventW(log.get(), EVENTLOG_INFORMATION_TYPE, 0, ReleaseMeasuredEvent, nullptr,
               static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
}
