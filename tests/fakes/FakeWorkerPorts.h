#pragma once
// A fake machine for the release worker: a process list, available memory that rises by a
// process's working set when it is trimmed, a clock that moves with every sleep and trim.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSystemInfo.h"
#include "worker/WorkerPorts.h"

class FakeWorkerMachine : public ProcessSnapshotPort,
                          public MemoryReadingPort,
                          public TrimmerPort,
                          public PrivilegePort,
                          public SystemMemoryPort,
                          public WorkerClockPort,
                          public ReleaseTurnPort,
                          public WorkerSessionPort,
                          public ReleaseMeasuringPort,
                          public ReleaseEventPort {
 public:
  static constexpr int64_t MB = 1024 * 1024;

  // Set-up.
  std::vector<ProcessRecord> before, after;  // the two snapshots
  // Right after the trims and a window later; the second snapshot where not given.
  std::optional<std::vector<ProcessRecord>> afterTrims, later;
  bool measuringFree = true;
  uint64_t announcedAfter = UINT64_MAX;  // ms into the window when a new release is announced
  int64_t available = 1000 * MB;
  bool memoryRises = true;
  std::set<uint32_t> unopenable;
  std::set<uint32_t> hardMinimum, failing;  // opened but left alone, or the trim call failed
  std::set<Privilege> held{Privilege::Debug, Privilege::IncreaseQuota,
                           Privilege::ProfileSingleProcess};
  uint64_t trimCost = 10;  // ms per trim
  int64_t modifiedBytes = 0;
  TurnPlace place = TurnPlace::Waiting;
  TurnResult turnAtOnce = TurnResult::Acquired;  // no other worker works
  TurnResult turnLater = TurnResult::Acquired;
  uint32_t handedOnMeanwhile = 0;
  uint32_t selfId = 1000;
  std::optional<uint32_t> foreground;

  // What happened.
  std::vector<uint32_t> trimmed;
  int snapshots = 0, fileCacheTrims = 0, flushes = 0, turnsEnded = 0, placesLeft = 0,
      backgrounds = 0;
  uint32_t handedOn = 0;
  int measuringLeft = 0;
  std::vector<std::vector<uint32_t>> events;
  uint64_t now = 5000;

  std::optional<std::vector<ProcessRecord>> TakeSnapshot() override {
    ++snapshots;
    if (snapshots == 3 && afterTrims) {
      return afterTrims;
    }
    if (snapshots == 4 && later) {
      return later;
    }
    return snapshots == 1 ? before : after;
  }
  std::optional<int64_t> AvailableBytes() override { return available; }
  TrimResult TrimWorkingSet(uint32_t id, int64_t) override {
    now += trimCost;
    if (unopenable.count(id) != 0) {
      return TrimResult::NotOpened;
    }
    if (hardMinimum.count(id) != 0 || failing.count(id) != 0) {
      return hardMinimum.count(id) != 0 ? TrimResult::HardMinimum : TrimResult::Failed;
    }
    trimmed.push_back(id);
    for (const auto& p : after) {
      if (p.id == id && memoryRises) {
        available += static_cast<int64_t>(p.workingSet);
      }
    }
    return TrimResult::Trimmed;
  }
  bool Enable(Privilege privilege) override { return held.count(privilege) != 0; }
  bool TrimFileCache() override { return ++fileCacheTrims > 0; }
  std::optional<int64_t> ModifiedListBytes() override { return modifiedBytes; }
  bool FlushModifiedList() override {
    ++flushes;
    available += memoryRises ? modifiedBytes : 0;
    return true;
  }
  uint64_t Milliseconds() override { return now; }
  void Sleep(uint32_t milliseconds) override { now += milliseconds; }
  uint64_t UtcFileTime() override { return 133000000000000000ull; }
  TurnPlace TakeWaitingPlace() override { return place; }
  void HandOn(uint32_t megabytes) override { handedOn += megabytes; }
  TurnResult WaitForTurn(uint32_t milliseconds) override {
    return milliseconds == 0 ? turnAtOnce : turnLater;
  }
  uint32_t LeaveWaitingPlace() override {
    ++placesLeft;
    return handedOnMeanwhile;
  }
  void EndTurn() override { ++turnsEnded; }
  uint32_t CurrentProcessId() override { return selfId; }
  std::optional<uint32_t> ForegroundProcessId() override { return foreground; }
  void EnterBackgroundMode() override { ++backgrounds; }
  void AnnounceRelease() override {}
  bool TakeMeasuringPlace(uint32_t) override { return measuringFree; }
  void ClearAnnouncements() override {}
  bool WaitForAnnouncement(uint32_t milliseconds) override {
    now += std::min<uint64_t>(milliseconds, announcedAfter);
    return announcedAfter < milliseconds;
  }
  void LeaveMeasuringPlace() override { ++measuringLeft; }
  void ReportMeasuredRelease(std::span<const uint32_t> figures) override {
    events.emplace_back(figures.begin(), figures.end());
  }

  FakeSystemInfo system;
  FakeRegistry registry;
  WorkerPorts Ports() {
    return {*this, *this, system, *this, *this, *this, *this, *this, *this, registry, *this, *this};
  }
};
