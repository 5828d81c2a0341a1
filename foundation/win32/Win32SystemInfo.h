#pragma once
#include "foundation/SystemInfoPort.h"

class Win32SystemInfo : public SystemInfoPort {
 public:
  std::optional<MemoryStatus> QueryMemoryStatus() override;
  std::optional<VersionRecord> QueryVersion(uint32_t recordSize) override;
  std::optional<uint8_t> QueryACLineStatus() override;
};
