#include "foundation/base/win32/SystemLibrary.h"

#include <string>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32 exists where AddDllDirectory does (Windows 8, or 7 with
// KB2533623); elsewhere LoadLibraryExW refuses the flag.
bool SystemFolderSearchAvailable() {
  return BindFunction<FARPROC>(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
}

std::wstring SystemFolderPath(const wchar_t* fileName) {
  std::wstring folder(MAX_PATH, L'\0');
  UINT n = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  if (n >= folder.size()) {
    folder.resize(n);
    n = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  }
  if (n == 0 || n >= folder.size()) {
    return std::wstring();
  }
  folder.resize(n);
  if (folder.back() != L'\\') {
    folder += L'\\';
  }
  return folder + fileName;
}

}  // namespace

void RestrictDllSearch() noexcept {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto restrict = BindFunction<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"),
                                                                 "SetDefaultDllDirectories");
  if (restrict != nullptr&& restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return;
  }
  SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept {
  if (SystemFolderSearchAvailable()) {
    return LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  try {
    const std::wstring path = SystemFolderPath(fileName);
    return path.empty() ? nullptr : LoadLibraryW(path.c_str());
  } catch (...) {
    return nullptr;
  }
}
