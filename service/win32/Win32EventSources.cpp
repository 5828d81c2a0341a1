#include "service/win32/Win32EventSources.h"

#include <windows.h>

#include <string>

#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"
#include "service/FailureText.h"
#include "service/win32/Win32SystemMessages.h"

namespace {

std::wstring SourceKey(std::u16string_view source) {
  return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + Wide(source);
}

void Check(LSTATUS status) {
  if (status != ERROR_SUCCESS) {
    Win32SystemMessages messages;
    throw MakeOSFailure(static_cast<uint32_t>(status), messages);
  }
}

}  // namespace

void Win32EventSources::RegisterSource(std::u16string_view source,
                                       std::u16string_view messageFile) {
  UniqueHKey key;
  Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, SourceKey(source).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr));
  const std::wstring file = Wide(messageFile);
  Check(RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(file.c_str()),
                       static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t))));
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  Check(RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&types), sizeof(types)));
}

void Win32EventSources::RemoveSource(std::u16string_view source) {
  const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, SourceKey(source).c_str());
  if (status != ERROR_FILE_NOT_FOUND) {
    Check(status);
  }
}
