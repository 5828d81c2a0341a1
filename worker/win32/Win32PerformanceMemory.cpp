#include "worker/win32/Win32PerformanceMemory.h"

#include <psapi.h>

#include "foundation/base/win32/SystemLibrary.h"

Win32PerformanceMemory::Win32PerformanceMemory()
    : library_(LoadOwnedSystemLibrary(L"kernel32.dll")) {
  query_ = BindFunction<Function>(library_.get(), "K32GetPerformanceInfo");
  if (query_ == nullptr) {
    library_ = LoadOwnedSystemLibrary(L"psapi.dll");
    query_ = BindFunction<Function>(library_.get(), "GetPerformanceInfo");
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
