// TTimer: one thread serves the ticks, the one that switched the timer on last.
#include <gtest/gtest.h>

#include <stdexcept>

#include "service/FailureText.h"
#include "service/Timer.h"
#include "tests/fakes/FakeServicePorts.h"

namespace {

TEST(TTimer, SwitchingMovesTheTicksToTheSwitchingThread) {
  FakeTimerPort port;
  int ticks = 0;
  TTimer timer(
      port, 1000, [&] { ++ticks; }, nullptr);
  EXPECT_EQ(port.LiveCount(), 0u);  // off until switched on
  timer.SetEnabled(true);
  const uint64_t first = port.live.begin()->first;
  port.Fire(first);
  EXPECT_EQ(ticks, 1);
  port.thread = 2;
  timer.SetEnabled(false);
  port.Fire(first);  // a tick already queued on the first thread
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(true);
  const uint64_t second = port.live.begin()->first;
  EXPECT_NE(second, first);
  EXPECT_EQ(port.live.begin()->second.thread, 2u);
  port.Fire(first);
  port.Fire(second);
  EXPECT_EQ(ticks, 2);
  timer.SetEnabled(true);  // on again while on: a fresh timer, the old one gone
  EXPECT_EQ(port.LiveCount(), 1u);
  port.Fire(second);
  EXPECT_EQ(ticks, 2);
}

TEST(TTimer, FailingTickGoesToTheSinkAndTheTimerGoesOn) {
  FakeTimerPort port;
  std::vector<std::u16string> failures;
  int ticks = 0;
  TTimer timer(
      port, 1000,
      [&] {
        if (++ticks == 1)
          throw Failure(u"tick");
      },
      [&](std::exception_ptr f) { failures.push_back(FailureText(f)); });
  timer.SetEnabled(true);
  port.FireAll();
  port.FireAll();
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(failures, std::vector<std::u16string>{u"tick"});
}

TEST(TTimer, NoSecondTickBesideARunningOne) {
  FakeTimerPort port;
  int ticks = 0;
  uint64_t id = 0;
  TTimer* self = nullptr;
  TTimer timer(
      port, 1000,
      [&] {
        ++ticks;
        // While this tick runs, the timer moves to another thread, whose tick arrives at once.
        port.thread = 2;
        self->SetEnabled(true);
        port.Fire(port.live.begin()->first);
      },
      nullptr);
  self = &timer;
  timer.SetEnabled(true);
  id = port.live.begin()->first;
  port.Fire(id);
  EXPECT_EQ(ticks, 1);
}

TEST(TTimer, DestructionRemovesTheLiveTimer) {
  FakeTimerPort port;
  {
    TTimer timer(
        port, 1000, [] {}, nullptr);
    timer.SetEnabled(true);
  }
  EXPECT_EQ(port.LiveCount(), 0u);
}

}  // namespace
