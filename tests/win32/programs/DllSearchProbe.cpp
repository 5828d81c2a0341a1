// Loads a library by bare name and tells where it came from, by exit code: 1 from the probe's own
// folder, 0 from elsewhere (the system folder), 2 not loaded.
//   DllSearchProbe plain|system|restricted NAME
// plain: LoadLibraryW; system: LoadSystemLibrary; restricted: RestrictDllSearch, then LoadLibraryW.
#include <windows.h>

#include <string>

#include "foundation/base/win32/SystemLibrary.h"

namespace {

std::wstring Folder(HMODULE module) {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH * 4);
  std::wstring full(path, n);
  const size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    return 3;
  }
  const std::wstring how = argv[1];
  if (how == L"restricted") {
    RestrictDllSearch();
  }
  const HMODULE module = how == L"system" ? LoadSystemLibrary(argv[2]) : LoadLibraryW(argv[2]);
  if (module == nullptr) {
    return 2;
  }
  return CompareStringOrdinal(Folder(module).c_str(), -1, Folder(nullptr).c_str(), -1, TRUE) ==
                 CSTR_EQUAL
             ? 1
             : 0;
}
