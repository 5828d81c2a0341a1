#include "worker/win32/Win32PerformanceMemory.h"

#include <psapi.h>

#include "worker/win32/SystemLibrary.h"

Win32PerformanceMemory::Win32PerformanceMemory() : library_(LoadSystemLibrary(L"kernel32.dll")) {
  query_ = BindFunction<Function>(library_, "K32GetPerformanceInfo");
  if (query_ == nullptr) {
    library_ = LoadSystemLibrary(L"psapi.dll");
    query_ = BindFunction<Function>(library_, "GetPerformanceInfo");
  }
}

std::optional<int64_t> Win32PerformanceMemory::AvailableBytes() {
  PERFORMANCE_INFORMATION info{};
  info.cb = sizeof(info);
  if (query_ == nullptr || !query_(&info, sizeof(info))) {
    return std::nullopt;
  }
  const uint64_t bytes = uint64_t{info.PhysicalAvailable} * info.PageSize;
  return bytes > INT64_MAX ? std::nullopt : std::optional<int64_t>(static_cast<int64_t>(bytes));
}
