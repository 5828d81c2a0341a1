#include "service/win32/Win32SystemMessages.h"

#include <windows.h>

#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"

std::u16string Win32SystemMessages::SystemMessage(uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  UniqueLocalMemory owner(text);
  if (length == 0 || text == nullptr) {
    return {};
  }
  return FromWide(std::wstring_view(text, length));
}
