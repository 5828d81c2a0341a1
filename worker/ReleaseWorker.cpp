#include "worker/ReleaseWorker.h"

#include <algorithm>

#include "foundation/base/Guard.h"
#include "foundation/RAM.h"
#include "foundation/base/Rounding.h"
#include "foundation/LastRelease.h"
#include "foundation/ReleaseCoolDown.h"
#include "worker/ReleaseArgument.h"
#include "worker/ReleaseMeasurement.h"
#include "worker/ReleasePlanner.h"
#include "foundation/Constants.h"
#include "foundation/ReleaseHistory.h"

namespace {

constexpr int64_t Megabyte = int64_t{1024} * 1024;

// The places of the turn are given back even when this run fails half-way.
class WaitingPlace {
 public:
  explicit WaitingPlace(ReleaseTurnPort& port) : port_(port) {}
  WaitingPlace(const WaitingPlace&) = delete;
  WaitingPlace& operator=(const WaitingPlace&) = delete;
  ~WaitingPlace() {
    if (held_) {
      guarded([&] { port_.LeaveWaitingPlace(); });
    }
  }
  uint32_t Leave() {
    held_ = false;
    return port_.LeaveWaitingPlace();
  }

 private:
  ReleaseTurnPort& port_;
  bool held_ = true;
};

class Turn {
 public:
  Turn(ReleaseTurnPort& port, TurnResult result)
      : port_(port), held_(result != TurnResult::TimedOut) {}
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;
  ~Turn() {
    if (held_) {
      guarded([&] { port_.EndTurn(); });
    }
  }
  bool held() const { return held_; }
  void End() {
    if (held_) {
      held_ = false;
      port_.EndTurn();
    }
  }

 private:
  ReleaseTurnPort& port_;
  bool held_;
};

// The measuring place is given back however the measurement ends.
class MeasuringPlace {
 public:
  MeasuringPlace(ReleaseMeasuringPort& port, bool held) : port_(port), held_(held) {}
  MeasuringPlace(const MeasuringPlace&) = delete;
  MeasuringPlace& operator=(const MeasuringPlace&) = delete;
  ~MeasuringPlace() {
    if (held_) {
      guarded([&] { port_.LeaveMeasuringPlace(); });
    }
  }
  bool held() const { return held_; }

 private:
  ReleaseMeasuringPort& port_;
  bool held_;
};

int64_t ReadAvailable(const WorkerPorts& ports) {
  // GetPerformanceInfo is read fresh; GlobalMemoryStatusEx, the fall-back, may be a second old.
  const auto fresh = guarded_or<std::optional<int64_t>>(
      std::nullopt, [&] { return ports.memory.AvailableBytes(); });
  return fresh ? *fresh : GetAvailablePhysicalMemory(ports.system);
}

uint32_t ClampToDword(int64_t value) {
  return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, UINT32_MAX));
}

// What one trim adds to the record: a process left alone for its hard minimum is neither.
void CountTrim(TrimResult result, LastRelease& record) {
  if (result == TrimResult::Trimmed) {
    ++record.trimmed;
  } else if (result == TrimResult::NotOpened || result == TrimResult::Failed) {
    ++record.refused;
  }
}

uint32_t Megabytes(int64_t bytes) {
  return RecordMegabytes(static_cast<uint64_t>(std::max<int64_t>(bytes, 0)));
}

// The work of one turn; returns the available memory at its end, counts the trims in record and
// lists the processes trimmed.
int64_t FreeMemory(const WorkerPorts& ports, int64_t start, int64_t target, LastRelease& record,
                   std::vector<TrimmedProcess>& trimmed) {
  const uint64_t deadline = ports.clock.Milliseconds() + WorkDeadlineMilliseconds;
  const auto expired = [&] { return ports.clock.Milliseconds() >= deadline; };

  // 1. Privileges, one by one: each counts only where the token holds it.
  ports.privileges.Enable(Privilege::Debug);  // opens other accounts' processes
  const bool quota = ports.privileges.Enable(Privilege::IncreaseQuota);
  const bool profile = ports.privileges.Enable(Privilege::ProfileSingleProcess);

  // 2. The largest idle working sets first, one pass.
  std::vector<TrimTarget> plan;
  std::vector<ProcessRecord> planned;
  if (const auto before = ports.processes.TakeSnapshot()) {
    ports.clock.Sleep(IdleSampleMilliseconds);
    if (const auto after = ports.processes.TakeSnapshot()) {
      planned = *after;
      plan = PlanTrimming(*before, *after,
                          {ports.session.CurrentProcessId(), ports.session.ForegroundProcessId(),
                           ReadSparedPrograms(ports.registry, ports.clock.UtcFileTime())});
    }
  }
  int64_t available = start;
  int sinceReading = 0;
  for (const TrimTarget& target_process : plan) {
    if (ShouldStop(available, target, ports.clock.Milliseconds(), deadline) != StopReason::None) {
      break;
    }
    const TrimResult result =
        ports.trimmer.TrimWorkingSet(target_process.id, target_process.creationTime);
    CountTrim(result, record);
    if (result == TrimResult::Trimmed) {
      const auto p = std::find_if(planned.begin(), planned.end(), [&](const ProcessRecord& r) {
        return r.id == target_process.id && r.creationTime == target_process.creationTime;
      });
      trimmed.push_back({target_process.id, target_process.creationTime,
                         p == planned.end() ? std::u16string() : p->name,
                         target_process.workingSet});
    }
    if (++sinceReading == TrimsBetweenReadings) {
      sinceReading = 0;
      available = ReadAvailable(ports);
    }
  }
  available = ReadAvailable(ports);

  // 3. Only for a privileged caller, and only while still short.
  if (quota && available < target && !expired()) {
    if (ports.systemMemory.TrimFileCache()) {
      available = ReadAvailable(ports);
    }
  }
  if (profile && available < target && !expired()) {
    // Writing the modified list out only moves its pages to standby: worth it only when that
    // alone could cover what is missing.
    const auto modified = ports.systemMemory.ModifiedListBytes();
    if (modified && *modified >= target - available && ports.systemMemory.FlushModifiedList()) {
      available = ReadAvailable(ports);
    }
  }
  return available;
}

// The window after a release: this worker holds the measuring place and no turn. It sleeps in
// background mode, holding no process handle, until the window ends or a new release begins.
void MeasureRelease(const WorkerPorts& ports, LastRelease record,
                    const std::vector<ProcessDrop>& drops, int64_t total) {
  const uint64_t opened = ports.clock.Milliseconds();
  ports.measuring.WaitForAnnouncement(Constants::MeasureWindowSeconds * 1000);
  record.window = WindowSeconds(ports.clock.Milliseconds() - opened);
  const auto later = ports.processes.TakeSnapshot();
  const ReleaseMeasurement m =
      later ? MeasureRegrowth(drops, *later) : MeasureRegrowth(drops, std::vector<ProcessRecord>());
  record.availableAfter = Megabytes(ReadAvailable(ports));
  record.dropped = RecordMegabytes(m.droppedBytes);
  // Each rounded alone, the regrowth could pass the drop by half a megabyte.
  record.regrown = std::min(RecordMegabytes(m.regrownBytes), record.dropped);
  record.faults = m.faults;
  record.hardFaults = m.hardFaults;
  RecordMeasuredRelease(ports.registry, record);
  const uint64_t now = ports.clock.UtcFileTime();
  AppendReleaseHistory(ports.registry, record, now, total);
  RecordSparedPrograms(ports.registry, m.images, now);
  const uint32_t figures[] = {record.requested,  record.freed,           record.trimmed,
                              record.refused,    record.availableBefore, record.availableAfter,
                              record.dropped,    record.regrown,         record.faults,
                              record.hardFaults, record.window};
  ports.events.ReportMeasuredRelease(figures);
}

}  // namespace

ReleaseExitCode RunReleaseWorker(std::span<const std::u16string> arguments,
                                 const WorkerPorts& ports) {
  const std::optional<int32_t> asked = ParseReleaseArguments(arguments);
  if (!asked || *asked <= 0) {
    return ReleaseExitCode::NothingToDo;
  }
  const uint64_t started = ports.clock.Milliseconds();
  const int64_t total = GetTotalPhysicalMemory(ports.system);
  const int32_t own = CutToTotalMemory(*asked, total);

  // 1. One worker waits per turn; any other hands its megabytes on to it and ends, so a flood of
  // requests never piles up workers.
  switch (ports.turn.TakeWaitingPlace()) {
    case TurnPlace::Waiting:
      break;
    case TurnPlace::Occupied:
      ports.turn.HandOn(static_cast<uint32_t>(own));
      return ReleaseExitCode::HandedOn;
    case TurnPlace::Unavailable:
      return ReleaseExitCode::NoTurn;
  }
  WaitingPlace waiting(ports.turn);

  // 2. A worker that finds the turn free is the first of a request; the chunks after it find it
  // working or waiting, so the cool-down holds back whole requests only.
  TurnResult result = ports.turn.WaitForTurn(0);
  if (result != TurnResult::TimedOut &&
      IsCoolingDown(ReadLastReleaseTime(ports.registry), ports.clock.UtcFileTime())) {
    const Turn turn(ports.turn, result);
    return ReleaseExitCode::CoolingDown;
  }
  ports.session.EnterBackgroundMode();
  if (result == TurnResult::TimedOut) {
    result = ports.turn.WaitForTurn(TurnWaitMilliseconds);
  }
  // Recorded before the turn ends, so workers taking turns never write LastRelease at once.
  Turn turn(ports.turn, result);
  // What was handed on while this one waited is its work too, cut as one request would be.
  const int64_t handed = turn.held() ? waiting.Leave() : 0;
  LastRelease record;
  record.requested = ClampToDword(
      CutToTotalMemory(static_cast<int32_t>(std::min<int64_t>(own + handed, INT32_MAX)), total));

  ReleaseExitCode code = ReleaseExitCode::GaveUpWaiting;
  std::vector<ProcessDrop> drops;
  if (turn.held()) {
    // A worker measuring an earlier release ends its window now: this one changes what it sees.
    guarded([&] { ports.measuring.AnnounceRelease(); });
    // Measured afresh: the worker before this one has already freed what it could.
    const int64_t start = ReadAvailable(ports);
    const int64_t target = start + int64_t{record.requested} * Megabyte;
    std::vector<TrimmedProcess> trimmed;
    const int64_t end = FreeMemory(ports, start, target, record, trimmed);
    record.freed = ClampToDword(
        end > start ? RoundToInt64(static_cast<long double>(end - start) / Megabyte) : 0);
    code = end >= target ? ReleaseExitCode::Reached : ReleaseExitCode::Partial;
    record.availableBefore = Megabytes(start);
    record.availableAfter = Megabytes(end);
    // Each trimmed process's working set right after the trims: its drop.
    if (const auto afterTrims = ports.processes.TakeSnapshot()) {
      drops = MeasureDrops(trimmed, *afterTrims);
    }
    uint64_t dropped = 0;
    for (const ProcessDrop& d : drops) {
      dropped += d.dropped;
    }
    record.dropped = RecordMegabytes(dropped);
  }
  // The worker measuring before this one was told to end; once it has, this one records and
  // measures. Bounded: a place held by anyone else only leaves this release unmeasured.
  const MeasuringPlace measuring(
      ports.measuring, turn.held() && guarded_or(false, [&] {
                         return ports.measuring.TakeMeasuringPlace(MeasuringPlaceWaitMilliseconds);
                       }));
  record.milliseconds = ClampToDword(static_cast<int64_t>(ports.clock.Milliseconds() - started));
  record.time = ports.clock.UtcFileTime();
  RecordLastRelease(ports.registry, record);
  if (measuring.held()) {
    guarded([&] { ports.measuring.ClearAnnouncements(); });
    turn.End();
    guarded([&] { MeasureRelease(ports, record, drops, total); });
  }
  return code;
}
