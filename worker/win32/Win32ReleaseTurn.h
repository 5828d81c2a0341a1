#pragma once
#include "foundation/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

// Turns on the machine-wide mutex Constants::ReleaseWorkerMutex.
class Win32ReleaseTurn : public ReleaseTurnPort {
 public:
  TurnResult WaitForTurn(uint32_t milliseconds) override;
  void EndTurn() override;

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};
