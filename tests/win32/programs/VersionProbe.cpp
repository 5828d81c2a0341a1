// Exits with the version code of the running Windows plus 10, for tests that let Wine report
// one Windows version after another.
#include <windows.h>

#include "foundation/WindowsVersion.h"
#include "foundation/win32/Win32SystemInfo.h"

int wmain() {
  Win32SystemInfo system;
  return GetWindowsVersionCode(system) + 10;
}
