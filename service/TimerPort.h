#pragma once
// Periodic timers of the calling thread: their ticks arrive through that thread's messages.
#include <cstdint>

class TimerTarget {
 public:
  virtual ~TimerTarget() = default;
  // On the thread that started the timer, for each tick of `timer`.
  virtual void TimerTick(uint64_t timer) = 0;
};

class TimerPort {
 public:
  virtual ~TimerPort() = default;
  // SetTimer on the calling thread; ticks go to target. Returns a timer identity that is unique in
  // the process; throws on failure.
  virtual uint64_t StartTimer(uint32_t intervalMs, TimerTarget& target) = 0;
  // From any thread: no tick of that timer reaches its target after this returns (except one
  // already running). On the thread that started it the platform timer goes at once; elsewhere it
  // goes at its next tick.
  virtual void KillTimer(uint64_t timer) = 0;
  virtual uint64_t CurrentThreadId() = 0;
};
