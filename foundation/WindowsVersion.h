#pragma once
// The running Windows as a small code: 0 Windows 2000, 1 XP, 2 Server 2003 / XP x64, 3 Vista,
// 4 Server 2008, 5 Windows 7 / Server 2008 R2, -1 anything else (and any failure).
#include <cstdint>

#include "foundation/SystemInfoPort.h"

inline constexpr uint32_t VersionRecordSizeEx = 284;     // OSVERSIONINFOEXW
inline constexpr uint32_t VersionRecordSizeBasic = 276;  // OSVERSIONINFOW

int32_t ClassifyWindowsVersion(const VersionRecord& record);
int32_t GetWindowsVersionCode(SystemInfoPort& system);
