#include "worker/ReleaseMeasurement.h"

#include <algorithm>

#include "foundation/Constants.h"
#include "foundation/base/Rounding.h"
#include "foundation/base/Text.h"

namespace {

template <class Process>
const ProcessRecord* Find(std::span<const ProcessRecord> snapshot, const Process& p) {
  const auto it = std::find_if(snapshot.begin(), snapshot.end(), [&](const ProcessRecord& r) {
    return r.id == p.id && r.creationTime == p.creationTime;
  });
  return it == snapshot.end() ? nullptr : &*it;
}

}  // namespace

std::vector<ProcessDrop> MeasureDrops(std::span<const TrimmedProcess> trimmed,
                                      std::span<const ProcessRecord> afterTrims) {
  std::vector<ProcessDrop> drops;
  for (const TrimmedProcess& t : trimmed) {
    if (const ProcessRecord* now = Find(afterTrims, t)) {
      const uint64_t dropped =
          t.plannedWorkingSet > now->workingSet ? t.plannedWorkingSet - now->workingSet : 0;
      drops.push_back({t, dropped, now->workingSet, now->pageFaults, now->hardFaults});
    }
  }
  return drops;
}

ReleaseMeasurement MeasureRegrowth(std::span<const ProcessDrop> drops,
                                   std::span<const ProcessRecord> later) {
  ReleaseMeasurement m;
  for (const ProcessDrop& d : drops) {
    const ProcessRecord* now = Find(later, d.process);
    if (now == nullptr) {
      continue;
    }
    // What came back of what it gave up: growth beyond its drop is new work, not regrowth.
    const uint64_t grown = now->workingSet > d.workingSet ? now->workingSet - d.workingSet : 0;
    const uint64_t regrown = std::min(grown, d.dropped);
    m.droppedBytes += d.dropped;
    m.regrownBytes += regrown;
    // The record's counters are 32 bits: a difference modulo 2^32 survives one wrap.
    m.faults += now->pageFaults - d.pageFaults;
    m.hardFaults += now->hardFaults - d.hardFaults;
    const auto image = std::find_if(m.images.begin(), m.images.end(), [&](const ImageRegrowth& i) {
      return EqualsIgnoreAsciiCase(i.name, d.process.name);
    });
    if (image == m.images.end()) {
      m.images.push_back({d.process.name, d.dropped, regrown});
    } else {
      image->droppedBytes += d.dropped;
      image->regrownBytes += regrown;
    }
  }
  return m;
}

uint32_t RecordMegabytes(uint64_t bytes) {
  return static_cast<uint32_t>(
      std::min<int64_t>(RoundToInt64(static_cast<long double>(bytes) / 1024 / 1024), UINT32_MAX));
}

uint32_t WindowSeconds(uint64_t elapsedMilliseconds) {
  return static_cast<uint32_t>(
      std::min<uint64_t>((elapsedMilliseconds + 999) / 1000, Constants::MeasureWindowSeconds));
}
