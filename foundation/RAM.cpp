#include "foundation/RAM.h"

#include "foundation/Guard.h"

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
