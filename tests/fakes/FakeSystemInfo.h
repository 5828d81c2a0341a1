#pragma once
#include <optional>
#include <vector>

#include "foundation/SystemInfoPort.h"

// Memory and version figures set by the test; counts the queries.
class FakeSystemInfo : public SystemInfoPort {
 public:
  std::optional<MemoryStatus> memory = MemoryStatus{};
  // When set, successive memory queries take their figures from here in order (then `memory`).
  std::vector<MemoryStatus> memorySequence;
  std::optional<VersionRecord> versionEx;     // answer for the 284-byte record
  std::optional<VersionRecord> versionBasic;  // answer for the 276-byte record
  int memoryQueries = 0;
  std::vector<uint32_t> versionQueries;

  std::optional<MemoryStatus> QueryMemoryStatus() override {
    ++memoryQueries;
    if (!memorySequence.empty()) {
      MemoryStatus s = memorySequence.front();
      memorySequence.erase(memorySequence.begin());
      return s;
    }
    return memory;
  }
  std::optional<VersionRecord> QueryVersion(uint32_t recordSize) override {
    versionQueries.push_back(recordSize);
    return recordSize == 284 ? versionEx : versionBasic;
  }

  std::optional<uint8_t> acLineStatus = 1;
  int powerQueries = 0;
  std::optional<uint8_t> QueryACLineStatus() override {
    ++powerQueries;
    return acLineStatus;
  }

  void SetMemory(uint64_t total, uint64_t available) { memory = MemoryStatus{total, available}; }
  void SetVersion(uint32_t major, uint32_t minor, uint8_t productType = 1) {
    versionEx = VersionRecord{major, minor, productType};
  }
};
