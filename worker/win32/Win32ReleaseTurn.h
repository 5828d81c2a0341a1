#pragma once
#include "foundation/base/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

struct MappedViewCloser {
  void operator()(void* view) const { UnmapViewOfFile(view); }
};
using UniqueMappedView = UniqueHandle<void*, MappedViewCloser>;

// The turn's two places and the megabytes handed on. A privileged worker (SYSTEM's, an elevated
// administrator's) keeps them as byte-range locks and a count in the lock file NimbelloDefrag.turn
// of its own program folder, which only administrators may write and which it makes with a DACL
// for SYSTEM and the Administrators alone: no user's object can take part in that turn. A
// standard user's workers keep theirs as two mutexes and a mapping in the session's own namespace,
// where no other user can make objects. Windows gives locks and mutexes back when a worker ends.
class Win32ReleaseTurn : public ReleaseTurnPort {
 public:
  TurnPlace TakeWaitingPlace() override;
  void HandOn(uint32_t megabytes) override;
  TurnResult WaitForTurn(uint32_t milliseconds) override;
  uint32_t LeaveWaitingPlace() override;
  void EndTurn() override;

 private:
  bool Join();
  bool JoinFolderTurn();
  bool JoinSessionTurn();
  // Adds to the count (or takes it all when take) under the file's guard lock; what it held.
  uint32_t UpdateFileCount(uint32_t add, bool take);

  UniqueKernelHandle file_;  // the privileged turn's lock file
  UniqueKernelHandle working_, waiting_, handedOn_;
  UniqueMappedView count_;
  bool joined_ = false, holdsWaiting_ = false, holdsWorking_ = false;
};
