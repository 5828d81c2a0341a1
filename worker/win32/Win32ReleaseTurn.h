#pragma once
#include "foundation/base/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

struct MappedViewCloser {
  void operator()(void* view) const { UnmapViewOfFile(view); }
};
using UniqueMappedView = UniqueHandle<void*, MappedViewCloser>;

// The turn as three named objects: a mutex for the working place, one for the waiting place and
// a shared count of the megabytes handed on. Workers of administrators (the service's, as SYSTEM)
// keep them in the global namespace, owned by the Administrators; a standard user's workers in
// the session's own namespace, where no other user can make objects.
class Win32ReleaseTurn : public ReleaseTurnPort {
 public:
  TurnPlace TakeWaitingPlace() override;
  void HandOn(uint32_t megabytes) override;
  TurnResult WaitForTurn(uint32_t milliseconds) override;
  uint32_t LeaveWaitingPlace() override;
  void EndTurn() override;

 private:
  bool Join();

  UniqueKernelHandle working_, waiting_, handedOn_;
  UniqueMappedView count_;
  bool holdsWaiting_ = false, holdsWorking_ = false;
};
