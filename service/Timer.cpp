#include "service/Timer.h"

#include <chrono>

#include "foundation/base/Guard.h"

TTimer::TTimer(TimerPort& port, uint32_t intervalMs, std::function<void()> onTimer,
               FailureSink onFailure)
    : port_(port),
      interval_(intervalMs),
      on_timer_(std::move(onTimer)),
      on_failure_(std::move(onFailure)) {}

TTimer::~TTimer() {
  if (const uint64_t timer = timer_.exchange(0); timer != 0) {
    guarded([&] { port_.KillTimer(timer); });
  }
}

void TTimer::SetEnabled(bool enabled) {
  enabled_.store(false);
  if (const uint64_t old = timer_.exchange(0); old != 0) {
    port_.KillTimer(old);
  }
  if (!enabled) {
    return;
  }
  timer_.store(port_.StartTimer(interval_, *this));
  enabled_.store(true);
}

void TTimer::TimerTick(uint64_t timer) {
  if (!enabled_.load() || timer_.load() != timer) {
    return;  // switched off, or moved to another thread since this tick was sent
  }
  if (in_tick_.exchange(true)) {
    return;  // a tick is still running (on the thread the timer left, or further up this one)
  }
  tick_thread_.store(std::this_thread::get_id());
  try {
    on_timer_();
  } catch (...) {
    if (on_failure_) {
      guarded([&] { on_failure_(std::current_exception()); });
    }
  }
  {
    const std::lock_guard lock(tick_end_lock_);
    in_tick_.store(false);
  }
  tick_ended_.notify_all();
}

bool TTimer::WaitForTick(uint32_t timeoutMs) {
  if (in_tick_.load() && tick_thread_.load() == std::this_thread::get_id()) {
    return false;  // called from within the tick: waiting for it would wait for itself
  }
  std::unique_lock lock(tick_end_lock_);
  return tick_ended_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return !in_tick_.load(); });
}
