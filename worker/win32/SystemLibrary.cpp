#include "worker/win32/SystemLibrary.h"

#include <string>

UniqueModule LoadSystemLibrary(const wchar_t* name) {
  UniqueModule library(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (library) {
    return library;
  }
  // Windows 7 without its loader update refuses the flag: name the system folder instead.
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    return UniqueModule();
  }
  const std::wstring path = std::wstring(folder, n) + L"\\" + name;
  return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}
