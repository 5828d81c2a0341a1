#include "worker/ReleaseWorker.h"

#include <algorithm>

#include "foundation/base/Guard.h"
#include "foundation/RAM.h"
#include "foundation/base/Rounding.h"
#include "foundation/LastRelease.h"
#include "foundation/ReleaseCoolDown.h"
#include "worker/ReleaseArgument.h"
#include "worker/ReleasePlanner.h"

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

 private:
  ReleaseTurnPort& port_;
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

// The work of one turn; returns the available memory at its end and counts the trims in record.
int64_t FreeMemory(const WorkerPorts& ports, int64_t start, int64_t target, LastRelease& record) {
  const uint64_t deadline = ports.clock.Milliseconds() + WorkDeadlineMilliseconds;
  const auto expired = [&] { return ports.clock.Milliseconds() >= deadline; };

  // 1. Privileges, one by one: each counts only where the token holds it.
  ports.privileges.Enable(Privilege::Debug);  // opens other accounts' processes
  const bool quota = ports.privileges.Enable(Privilege::IncreaseQuota);
  const bool profile = ports.privileges.Enable(Privilege::ProfileSingleProcess);

  // 2. The largest idle working sets first, one pass.
  std::vector<TrimTarget> plan;
  if (const auto before = ports.processes.TakeSnapshot()) {
    ports.clock.Sleep(IdleSampleMilliseconds);
    if (const auto after = ports.processes.TakeSnapshot()) {
      plan = PlanTrimming(*before, *after,
                          {ports.session.CurrentProcessId(), ports.session.ForegroundProcessId()});
    }
  }
  int64_t available = start;
  int sinceReading = 0;
  for (const TrimTarget& target_process : plan) {
    if (ShouldStop(available, target, ports.clock.Milliseconds(), deadline) != StopReason::None) {
      break;
    }
    CountTrim(ports.trimmer.TrimWorkingSet(target_process.id, target_process.creationTime), record);
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
  const Turn turn(ports.turn, result);
  // What was handed on while this one waited is its work too, cut as one request would be.
  const int64_t handed = turn.held() ? waiting.Leave() : 0;
  LastRelease record;
  record.requested = ClampToDword(
      CutToTotalMemory(static_cast<int32_t>(std::min<int64_t>(own + handed, INT32_MAX)), total));

  ReleaseExitCode code = ReleaseExitCode::GaveUpWaiting;
  if (turn.held()) {
    // Measured afresh: the worker before this one has already freed what it could.
    const int64_t start = ReadAvailable(ports);
    const int64_t target = start + int64_t{record.requested} * Megabyte;
    const int64_t end = FreeMemory(ports, start, target, record);
    record.freed = ClampToDword(
        end > start ? RoundToInt64(static_cast<long double>(end - start) / Megabyte) : 0);
    code = end >= target ? ReleaseExitCode::Reached : ReleaseExitCode::Partial;
  }
  record.milliseconds = ClampToDword(static_cast<int64_t>(ports.clock.Milliseconds() - started));
  record.time = ports.clock.UtcFileTime();
  RecordLastRelease(ports.registry, record);
  return code;
}
