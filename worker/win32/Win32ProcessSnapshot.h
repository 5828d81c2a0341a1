#pragma once
#include <cstdint>
#include <vector>

#include "foundation/win32/UniqueHandle.h"
#include "worker/WorkerPorts.h"

// Every process in one NtQuerySystemInformation(SystemProcessInformation) query: id, parent,
// name, creation and processor times, working set and base priority, without opening any process.
class Win32ProcessSnapshot : public ProcessSnapshotPort {
 public:
  Win32ProcessSnapshot();
  std::optional<std::vector<ProcessRecord>> TakeSnapshot() override;

 private:
  using QueryFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  UniqueModule ntdll_;
  QueryFunction query_ = nullptr;
  std::vector<uint64_t> buffer_;  // kept between snapshots: the second needs about as much
};
