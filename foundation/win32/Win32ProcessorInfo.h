#pragma once
// NtQuerySystemInformation from ntdll.dll, bound anew for every query and released after it.
#include "foundation/ProcessorInfoPort.h"

class Win32ProcessorInfo : public ProcessorInfoPort {
 public:
  std::optional<uint8_t> QueryNumberOfProcessors() override;
  std::optional<RecordInt64> QuerySystemTime() override;
  std::optional<RecordInt64> QueryIdleTime(PerformanceRecordLength length) override;
};
