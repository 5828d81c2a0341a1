// Prints the owner and DACL of a file or folder as SDDL, for the installer's end-to-end tests:
//   FileSecurity PATH
// Exit code 0 with one line of SDDL; 1 when the security cannot be read.
#include <windows.h>
// Need the types of windows.h.
#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    return 1;
  }
  constexpr SECURITY_INFORMATION What = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT, What, nullptr, nullptr, nullptr, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return 1;
  }
  wchar_t* text = nullptr;
  const BOOL converted = ConvertSecurityDescriptorToStringSecurityDescriptorW(
      descriptor, SDDL_REVISION_1, What, &text, nullptr);
  LocalFree(descriptor);
  if (!converted) {
    return 1;
  }
  std::wprintf(L"%ls\n", text);
  LocalFree(text);
  return 0;
}
