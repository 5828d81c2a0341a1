#include "worker/win32/Win32Privileges.h"

#include "foundation/base/win32/UniqueHandle.h"

bool Win32Privileges::Enable(Privilege privilege) {
  const wchar_t* name = privilege == Privilege::Debug           ? SE_DEBUG_NAME
                        : privilege == Privilege::IncreaseQuota ? SE_INCREASE_QUOTA_NAME
                                                                : SE_PROF_SINGLE_PROCESS_NAME;
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
    return false;
  }
  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) {
    return false;
  }
  // It returns TRUE for a privilege the token lacks too, with ERROR_NOT_ALL_ASSIGNED (1300).
  SetLastError(ERROR_SUCCESS);
  return AdjustTokenPrivileges(token.get(), FALSE, &wanted, 0, nullptr, nullptr) &&
         GetLastError() == ERROR_SUCCESS;
}
