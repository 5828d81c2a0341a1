#pragma once
// What a release did, from three snapshots of the processes it trimmed: as planned, right after
// the trims and a window later. A process is the pair of id and creation time, so one that
// exited, or whose id now names another, drops out of the figures instead of skewing them.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "foundation/ReleaseHistory.h"
#include "worker/ProcessRecord.h"

struct TrimmedProcess {
  uint32_t id = 0;
  int64_t creationTime = 0;
  std::u16string name;
  uint64_t plannedWorkingSet = 0;  // bytes, in the snapshot the plan came from
};

// A trimmed process right after the trims.
struct ProcessDrop {
  TrimmedProcess process;
  uint64_t dropped = 0;     // bytes its working set gave up, 0 when it grew meanwhile
  uint64_t workingSet = 0;  // bytes right after the trims
  uint32_t pageFaults = 0, hardFaults = 0;
};

// The trimmed processes found right after the trims.
std::vector<ProcessDrop> MeasureDrops(std::span<const TrimmedProcess> trimmed,
                                      std::span<const ProcessRecord> afterTrims);

struct ReleaseMeasurement {
  uint64_t droppedBytes = 0;            // of the processes still there a window later
  uint64_t regrownBytes = 0;            // each process's regrowth capped at its own drop
  uint32_t faults = 0, hardFaults = 0;  // over the window, each counter modulo 2^32
  std::vector<ImageRegrowth> images;    // per image name, for the spared list
};

ReleaseMeasurement MeasureRegrowth(std::span<const ProcessDrop> drops,
                                   std::span<const ProcessRecord> later);

// Bytes as whole MB, rounded, for the record's REG_DWORD values.
uint32_t RecordMegabytes(uint64_t bytes);

// The seconds a window lasted, rounded up so a measured window is never 0, at most the full one.
uint32_t WindowSeconds(uint64_t elapsedMilliseconds);
