#include "foundation/win32/Win32SystemInfo.h"

#include <windows.h>

#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"

std::optional<MemoryStatus> Win32SystemInfo::QueryMemoryStatus() {
  // Bound at every call: the library is always loaded, so this only moves its reference count.
  UniqueModule kernel(LoadSystemLibrary(L"kernel32.dll"));
  if (!kernel) {
    return std::nullopt;
  }
  using Fn = BOOL(WINAPI*)(LPMEMORYSTATUSEX);
  const auto fn = BindFunction<Fn>(kernel.get(), "GlobalMemoryStatusEx");
  if (fn == nullptr) {
    return std::nullopt;
  }
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  static_assert(sizeof(MEMORYSTATUSEX) == 64, "the record Windows expects");
  if (!fn(&status)) {
    return std::nullopt;
  }
  return MemoryStatus{status.ullTotalPhys, status.ullAvailPhys};
}

std::optional<VersionRecord> Win32SystemInfo::QueryVersion(uint32_t recordSize) {
  static_assert(sizeof(OSVERSIONINFOEXW) == 284 && sizeof(OSVERSIONINFOW) == 276);
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = recordSize;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    return std::nullopt;
  }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  VersionRecord record;
  record.majorVersion = info.dwMajorVersion;
  record.minorVersion = info.dwMinorVersion;
  record.productType = recordSize >= sizeof(OSVERSIONINFOEXW) ? info.wProductType : 0;
  return record;
}

std::optional<uint8_t> Win32SystemInfo::QueryACLineStatus() {
  SYSTEM_POWER_STATUS status{};
  if (!GetSystemPowerStatus(&status)) {
    return std::nullopt;
  }
  return status.ACLineStatus;
}
