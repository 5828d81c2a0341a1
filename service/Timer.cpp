#include "service/Timer.h"

#include "foundation/Guard.h"

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
  std::unique_lock lock(tick_, std::try_to_lock);
  if (!lock.owns_lock()) {
    return;  // a tick is still running on the thread the timer left: no second one beside it
  }
  try {
    on_timer_();
  } catch (...) {
    if (on_failure_) {
      guarded([&] { on_failure_(std::current_exception()); });
    }
  }
}
