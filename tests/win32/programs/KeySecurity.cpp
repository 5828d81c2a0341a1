// Prints the DACL of a key of HKEY_LOCAL_MACHINE as SDDL, for the end-to-end tests; given SDDL, it
// first makes that the key's DACL (a "P" in it protects it from what the parent would pass on):
//   KeySecurity PATH 32|64 [SDDL]    e.g. KeySecurity Software\VELTRA\Nimbello 32
// Exit code 0 with one line of SDDL; 1 when the key cannot be opened, read or set.
#include <windows.h>
// Needs the types of windows.h.
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/base/win32/UniqueHandle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 4) {
    return 1;
  }
  const REGSAM view = std::wstring(argv[2]) == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0,
                    READ_CONTROL | (argc == 4 ? WRITE_DAC : 0) | view,
                    key.put()) != ERROR_SUCCESS) {
    return 1;
  }
  if (argc == 4) {
    PSECURITY_DESCRIPTOR wanted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(argv[3], SDDL_REVISION_1, &wanted,
                                                              nullptr)) {
      return 1;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(wanted, &control, &revision);
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    const LSTATUS set = RegSetKeySecurity(key.get(), what, wanted);
    LocalFree(wanted);
    if (set != ERROR_SUCCESS) {
      return 1;
    }
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
