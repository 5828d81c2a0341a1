#pragma once
#include <cstdint>
#include <vector>

#include "worker/WorkerPorts.h"

// Every process in one NtQuerySystemInformation(SystemProcessInformation) query: id, parent,
// name, creation and processor times, working set and base priority, without opening any process.
// A 32-bit worker under WOW64 takes no snapshot: WOW64 cuts the sizes of the largest processes.
class Win32ProcessSnapshot : public ProcessSnapshotPort {
 public:
  Win32ProcessSnapshot();
  std::optional<std::vector<ProcessRecord>> TakeSnapshot() override;

 private:
  bool trusted_;
  std::vector<uint64_t> buffer_;  // kept between snapshots: the second needs about as much
};
