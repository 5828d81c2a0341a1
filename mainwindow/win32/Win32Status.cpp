#include "mainwindow/win32/Win32Status.h"

#include <vector>

#include "foundation/Constants.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"

ServiceState QueryServiceState() {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    return ServiceState::Unknown;
  }
  const UniqueServiceHandle service(
      OpenServiceW(manager.get(), Wide(Constants::ServiceName).c_str(), SERVICE_QUERY_STATUS));
  if (!service) {
    return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceState::NotInstalled
                                                          : ServiceState::Unknown;
  }
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.get(), &status)) {
    return ServiceState::Unknown;
  }
  switch (status.dwCurrentState) {
    case SERVICE_RUNNING:
      return ServiceState::Running;
    case SERVICE_PAUSED:
      return ServiceState::Paused;
    case SERVICE_STOPPED:
      return ServiceState::Stopped;
    default:
      return ServiceState::Pending;
  }
}

bool IsAppletRunning() {
  return FindWindowW(Wide(Constants::TrayFormClass).c_str(), nullptr) != nullptr;
}

bool IsWindows64Bit() {
  SYSTEM_INFO native{};
  GetNativeSystemInfo(&native);
  return native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
}

std::vector<std::byte> ReadFileHead(std::u16string_view path, size_t bytes) {
  // Others may hold the file open for anything, an installer replacing it included.
  HANDLE opened = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const UniqueKernelHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  std::vector<std::byte> head(file ? bytes : 0);
  DWORD read = 0;
  if (file && !ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) {
    read = 0;
  }
  head.resize(read);
  return head;
}

uint64_t CurrentFileTime() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::u16string LocalDateTimeText(uint64_t fileTime) {
  FILETIME utc{static_cast<DWORD>(fileTime & 0xFFFFFFFFu), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME universal{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utc, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return {};
  }
  wchar_t date[128] = {};
  wchar_t time[128] = {};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128) == 0 ||
      GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 128) == 0) {
    return {};
  }
  return FromWide(date) + u" " + FromWide(time);
}
