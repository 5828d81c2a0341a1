#pragma once
#include "worker/WorkerPorts.h"

class Win32WorkerSession : public WorkerSessionPort {
 public:
  uint32_t CurrentProcessId() override;
  std::optional<uint32_t> ForegroundProcessId() override;
  void EnterBackgroundMode() override;
};
