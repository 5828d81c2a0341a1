#pragma once
// NtQuerySystemInformation of ntdll.dll, the programs' one binding of it. It is bound anew for
// every query and released after it: nothing is kept between the service's or the tray's ticks.
#include <cstddef>
#include <cstdint>
#include <span>

#include "foundation/base/GrowingQuery.h"

// One query with the whole buffer as its record. On success wantedLength is the length the system
// wrote; on a length mismatch, the length it asks for (0 when it does not say).
QueryAnswer QuerySystemInformation(uint32_t informationClass, std::span<std::byte> buffer);
