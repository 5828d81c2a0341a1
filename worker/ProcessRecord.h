#pragma once
// One process as a system-wide snapshot reports it, without opening the process.
#include <cstdint>
#include <string>

struct ProcessRecord {
  uint32_t id = 0;
  uint32_t parentId = 0;
  // FILETIME ticks. Ids are reused, so a process is the pair of id and creation time.
  int64_t creationTime = 0;
  // Kernel plus user time, 100 ns ticks.
  int64_t processorTime = 0;
  uint64_t workingSet = 0;  // bytes
  // Windows 7 and later fill these; older ones leave them 0.
  uint64_t privateWorkingSet = 0;  // bytes of the working set no other process shares
  uint64_t cycleTime = 0;          // processor cycles of all its threads: exact, where times tick
  // Counters since the process started, 32 bits in the record: differences are taken modulo 2^32.
  uint32_t pageFaults = 0;
  uint32_t hardFaults = 0;  // of those, the ones read from disk
  int32_t basePriority = 0;
  std::u16string name;  // image name, "System" and the like for the kernel's own
};
