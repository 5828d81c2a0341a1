// Prints the DACL of a key of HKEY_LOCAL_MACHINE as SDDL, for the installer's end-to-end test:
//   KeySecurity PATH 32|64     e.g. KeySecurity Software\VELTRA\Nimbello 32
// Exit code 0 with one line of SDDL; 1 when the key cannot be opened or read.
#include <windows.h>
// Needs the types of windows.h.
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/win32/UniqueHandle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    return 1;
  }
  const REGSAM view = std::wstring(argv[2]) == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, READ_CONTROL | view, key.put()) !=
      ERROR_SUCCESS) {
    return 1;
  }
  DWORD size = 0;
  RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  if (size == 0 || RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.data(),
                                     &size) != ERROR_SUCCESS) {
    return 1;
  }
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return 1;
  }
  std::wprintf(L"%ls\n", text);
  LocalFree(text);
  return 0;
}
