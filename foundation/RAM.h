#pragma once
// Total and available physical memory in bytes, each from its own fresh query; 0 when Windows
// cannot tell. A figure that would be negative as a signed 64-bit number is 0.
#include <cstdint>
#include <optional>

#include "foundation/SystemInfoPort.h"

int64_t GetTotalPhysicalMemory(SystemInfoPort& system);
int64_t GetAvailablePhysicalMemory(SystemInfoPort& system);

// The percentage of physical memory in use, rounded half to even; nothing when total is 0.
std::optional<int32_t> UsagePercent(int64_t total, int64_t available);
