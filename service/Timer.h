#pragma once
// A periodic timer that belongs to the thread that switched it on last. Switching it on sets it
// up anew on the calling thread, whose messages then deliver its ticks; switching it off from any
// thread ends its ticks. A tick of a timer left behind on another thread finds itself stale and
// does nothing, so only one thread ever runs ticks, and never two at once.
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>

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
  std::mutex tick_;                 // held while a tick runs
};
