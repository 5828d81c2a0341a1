#include "worker/win32/Win32Wow64.h"

#include <windows.h>

#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"

bool RunsUnderWow64() {
#if defined(_WIN64)
  return false;
#else
  const UniqueModule kernel32(LoadSystemLibrary(L"kernel32.dll"));
  // Windows 10 1511 and later; it also tells an x86 program on an ARM64 machine.
  using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  if (const auto isWow64Process2 =
          BindFunction<IsWow64Process2Function>(kernel32.get(), "IsWow64Process2")) {
    USHORT process = IMAGE_FILE_MACHINE_UNKNOWN, native = IMAGE_FILE_MACHINE_UNKNOWN;
    // A failed answer is taken as WOW64: records that cannot be trusted are left unread.
    return !isWow64Process2(GetCurrentProcess(), &process, &native) ||
           process != IMAGE_FILE_MACHINE_UNKNOWN;
  }
  // Windows 7 to 10 1507.
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  if (const auto isWow64Process =
          BindFunction<IsWow64ProcessFunction>(kernel32.get(), "IsWow64Process")) {
    BOOL wow64 = TRUE;
    return !isWow64Process(GetCurrentProcess(), &wow64) || wow64 != FALSE;
  }
  return false;  // older than any 64-bit Windows
#endif
}
