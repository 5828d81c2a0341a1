#include "foundation/RAM.h"

#include "foundation/base/Guard.h"
#include "foundation/base/Rounding.h"

namespace {

int64_t NonNegative(uint64_t figure) {
  const auto v = static_cast<int64_t>(figure);
  return v < 0 ? 0 : v;
}

}  // namespace

int64_t GetTotalPhysicalMemory(SystemInfoPort& system) {
  return guarded_or<int64_t>(0, [&] {
    const auto status = system.QueryMemoryStatus();
    return status ? NonNegative(status->totalPhys) : 0;
  });
}

int64_t GetAvailablePhysicalMemory(SystemInfoPort& system) {
  return guarded_or<int64_t>(0, [&] {
    const auto status = system.QueryMemoryStatus();
    return status ? NonNegative(status->availPhys) : 0;
  });
}

std::optional<int32_t> UsagePercent(int64_t total, int64_t available) {
  if (total == 0) {
    return std::nullopt;
  }
  const int64_t used = total - available;
  return RoundToInt32(static_cast<long double>(used) / static_cast<long double>(total) * 100.0L);
}
