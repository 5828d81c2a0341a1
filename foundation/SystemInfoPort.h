#pragma once
// What Windows reports about physical memory and its own version.
#include <cstdint>
#include <optional>

struct MemoryStatus {
  uint64_t totalPhys = 0;  // ullTotalPhys
  uint64_t availPhys = 0;  // ullAvailPhys
};

struct VersionRecord {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint8_t productType = 0;  // 0 when only the basic record was filled
};

class SystemInfoPort {
 public:
  virtual ~SystemInfoPort() = default;

  // GlobalMemoryStatusEx, bound anew for this call. Nothing when the library or the function
  // cannot be found or the call fails.
  virtual std::optional<MemoryStatus> QueryMemoryStatus() = 0;

  // GetVersionExW on a zero-filled record whose size field is recordSize (284 for the extended
  // record, 276 for the basic one). Nothing when the call fails.
  virtual std::optional<VersionRecord> QueryVersion(uint32_t recordSize) = 0;

  // ACLineStatus of GetSystemPowerStatus (0 offline, 1 online, 255 unknown). Nothing when the
  // call fails.
  virtual std::optional<uint8_t> QueryACLineStatus() = 0;
};
