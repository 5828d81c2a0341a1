#include "foundation/base/win32/ModuleFileName.h"

#include <windows.h>

#include "foundation/base/win32/WideText.h"

std::u16string ModuleFileName() {
  // A path may be longer than MAX_PATH; GetModuleFileNameW then fills the buffer and cuts the
  // path, so the buffer grows until the path fits, up to the longest path Windows knows.
  constexpr size_t LongestPath = 32768;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) {
      return {};
    }
    if (n < path.size()) {
      path.resize(n);
      return FromWide(path);
    }
    if (path.size() >= LongestPath) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return {};
    }
    path.resize(path.size() * 2);
  }
}
