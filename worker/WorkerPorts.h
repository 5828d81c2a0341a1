#pragma once
// What the release worker needs of Windows, one small port per kind of operation.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "foundation/RegistryPort.h"
#include "foundation/SystemInfoPort.h"
#include "worker/ProcessRecord.h"

class ProcessSnapshotPort {
 public:
  virtual ~ProcessSnapshotPort() = default;
  // Every process on the machine in one query; nothing when the query fails.
  virtual std::optional<std::vector<ProcessRecord>> TakeSnapshot() = 0;
};

class MemoryReadingPort {
 public:
  virtual ~MemoryReadingPort() = default;
  // Available physical memory in bytes (free, zeroed and standby pages), read fresh from
  // GetPerformanceInfo. Nothing when it cannot be read.
  virtual std::optional<int64_t> AvailableBytes() = 0;
};

enum class TrimResult {
  Trimmed,
  NotOpened,    // access refused, gone, or the id now names another process
  HardMinimum,  // its working set has a hard minimum: left alone
  Failed,       // the trim call failed or is missing
};

class TrimmerPort {
 public:
  virtual ~TrimmerPort() = default;
  // Opens the process with the least rights trimming needs, checks that it is still the same
  // process, empties its working set (SetProcessWorkingSetSizeEx(-1, -1)) and closes it.
  virtual TrimResult TrimWorkingSet(uint32_t id, int64_t creationTime) = 0;
};

enum class Privilege { Debug, IncreaseQuota, ProfileSingleProcess };

class PrivilegePort {
 public:
  virtual ~PrivilegePort() = default;
  // True only when the token holds the privilege and it is now enabled.
  virtual bool Enable(Privilege privilege) = 0;
};

class SystemMemoryPort {
 public:
  virtual ~SystemMemoryPort() = default;
  // SetSystemFileCacheSize(-1, -1, 0). False when it failed or is missing.
  virtual bool TrimFileCache() = 0;
  // Bytes on the modified page list; nothing when the layout of the answer cannot be trusted.
  virtual std::optional<int64_t> ModifiedListBytes() = 0;
  // Writes the modified pages out so they join the standby list. False on failure.
  virtual bool FlushModifiedList() = 0;
};

class WorkerClockPort {
 public:
  virtual ~WorkerClockPort() = default;
  virtual uint64_t Milliseconds() = 0;  // a steady count
  virtual void Sleep(uint32_t milliseconds) = 0;
  virtual uint64_t UtcFileTime() = 0;  // now, FILETIME ticks
};

// A turn has two places: the one worker that works and the one that waits for it. Every other
// worker hands its megabytes on to the waiting one and ends, so however many requests come, no
// more than two workers of a turn are alive.
enum class TurnPlace {
  Waiting,      // this worker now holds the waiting place
  Occupied,     // another worker holds it
  Unavailable,  // the turn's objects could not be made, or others hold every name they may take
};

enum class TurnResult {
  Acquired,
  Abandoned,  // its last holder ended without giving it back: ours now
  TimedOut,   // still held by another worker when the wait ended
};

class ReleaseTurnPort {
 public:
  virtual ~ReleaseTurnPort() = default;
  virtual TurnPlace TakeWaitingPlace() = 0;
  // Adds to the megabytes that the waiting worker takes on; a sum that no longer fits 31 bits
  // stays at the largest that does.
  virtual void HandOn(uint32_t megabytes) = 0;
  // Waits for the working place, holding the waiting one.
  virtual TurnResult WaitForTurn(uint32_t milliseconds) = 0;
  // Gives the waiting place up; returns the megabytes handed on meanwhile, and clears them.
  virtual uint32_t LeaveWaitingPlace() = 0;
  virtual void EndTurn() = 0;
};

class WorkerSessionPort {
 public:
  virtual ~WorkerSessionPort() = default;
  virtual uint32_t CurrentProcessId() = 0;
  // The process of the foreground window; nothing where there is none (session 0).
  virtual std::optional<uint32_t> ForegroundProcessId() = 0;
  // Low processor, disk and memory priority while the worker runs.
  virtual void EnterBackgroundMode() = 0;
};

// After its trims a worker watches what they did for a window. One worker measures at a time; a
// worker that begins a release tells the measuring one, whose window then ends at once.
class ReleaseMeasuringPort {
 public:
  virtual ~ReleaseMeasuringPort() = default;
  // Ends the window of the worker measuring now, if any. Called holding the turn.
  virtual void AnnounceRelease() = 0;
  // Takes the one measuring place, waiting at most milliseconds for the worker measuring before
  // this one to finish. False when it is not free by then or cannot be made.
  virtual bool TakeMeasuringPlace(uint32_t milliseconds) = 0;
  // Forgets the announcements made until now, this worker's own included. Called holding the
  // turn, so none made by the next worker is lost.
  virtual void ClearAnnouncements() = 0;
  // Waits at most milliseconds; true when a release was announced meanwhile.
  virtual bool WaitForAnnouncement(uint32_t milliseconds) = 0;
  virtual void LeaveMeasuringPlace() = 0;
};

class ReleaseEventPort {
 public:
  virtual ~ReleaseEventPort() = default;
  // One Application log entry per measured release, its figures as insertion strings, in order:
  // Requested, Freed, Trimmed, Refused, AvailableBefore, AvailableAfter, Dropped, Regrown,
  // Faults, HardFaults, Window.
  virtual void ReportMeasuredRelease(std::span<const uint32_t> figures) = 0;
};

struct WorkerPorts {
  ProcessSnapshotPort& processes;
  MemoryReadingPort& memory;
  SystemInfoPort& system;  // total physical memory, and available memory when the above fails
  TrimmerPort& trimmer;
  PrivilegePort& privileges;
  SystemMemoryPort& systemMemory;
  WorkerClockPort& clock;
  ReleaseTurnPort& turn;
  WorkerSessionPort& session;
  RegistryPort& registry;  // LastRelease
  ReleaseMeasuringPort& measuring;
  ReleaseEventPort& events;
};
