#pragma once
// A periodic timer that belongs to the thread that switched it on last. Switching it on sets it
// up anew on the calling thread, whose messages then deliver its ticks; switching it off from any
// thread ends its ticks. A tick of a timer left behind on another thread finds itself stale and
// does nothing, so only one thread ever runs ticks, and never two at once.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "service/TimerPort.h"

class TTimer : private TimerTarget {
 public:
  using FailureSink = std::function<void(std::exception_ptr)>;

  TTimer(TimerPort& port, uint32_t intervalMs, std::function<void()> onTimer,
         FailureSink onFailure);
  ~TTimer() override;
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  // Throws when the platform cannot set up the timer; the timer is then off.
  void SetEnabled(bool enabled);
  // Waits, at most timeoutMs, for a tick that is running on another thread to end; switching the
  // timer off does not stop a tick already under way. True when no tick runs (any more). A tick
  // running on the calling thread itself is not waited for.
  bool WaitForTick(uint32_t timeoutMs);
  bool Enabled() const { return enabled_.load(); }
  uint32_t Interval() const { return interval_; }

 private:
  void TimerTick(uint64_t timer) override;

  TimerPort& port_;
  const uint32_t interval_;
  std::function<void()> on_timer_;
  FailureSink on_failure_;
  std::atomic<bool> enabled_{false};
  std::atomic<uint64_t> timer_{0};  // the platform timer whose ticks count; 0: none
  // Set while a tick runs, on the thread in tick_thread_. A tick that finds it set does nothing:
  // one thread never runs two ticks at once, also when a tick's work lets its own thread's
  // messages (and so a tick) through.
  std::atomic<bool> in_tick_{false};
  std::atomic<std::thread::id> tick_thread_{};
  std::mutex tick_end_lock_;  // only for tick_ended_; never held while a tick runs
  std::condition_variable tick_ended_;
};
