#pragma once
#include "foundation/base/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

// The measuring place as a mutex and the announcement of a new release as a manual-reset event,
// beside the turn's objects and in its namespace. A user who makes either first, or sets the
// event, can only leave a release unmeasured or its window short, which the record says.
class Win32ReleaseMeasuring : public ReleaseMeasuringPort {
 public:
  void AnnounceRelease() override;
  bool TakeMeasuringPlace(uint32_t milliseconds) override;
  void ClearAnnouncements() override;
  bool WaitForAnnouncement(uint32_t milliseconds) override;
  void LeaveMeasuringPlace() override;

 private:
  bool Join();

  UniqueKernelHandle measuring_, released_;
  bool holds_ = false;
};
