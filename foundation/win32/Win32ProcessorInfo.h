#pragma once
// The processor records of NtQuerySystemInformation (foundation/win32/SystemInformationQuery.h).
#include "foundation/ProcessorInfoPort.h"

class Win32ProcessorInfo : public ProcessorInfoPort {
 public:
  std::optional<uint8_t> QueryNumberOfProcessors() override;
  std::optional<RecordInt64> QuerySystemTime() override;
  std::optional<RecordInt64> QueryIdleTime(PerformanceRecordLength length) override;
};
