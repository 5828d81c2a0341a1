#pragma once
#include "foundation/win32/Win32Clock.h"
#include "worker/WorkerPorts.h"

// Uptime and sleeps of the shared clock, and the UTC time stamp of LastRelease.
class Win32WorkerClock : public WorkerClockPort {
 public:
  uint64_t Milliseconds() override { return clock_.TickCount64(); }
  void Sleep(uint32_t milliseconds) override { clock_.Sleep(milliseconds); }
  uint64_t UtcFileTime() override;

 private:
  Win32Clock clock_;
};
