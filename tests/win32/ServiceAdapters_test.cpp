// The service adapters against the real API under Wine: thread timers that move between threads,
// the service thread's queue and the system's messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "service/Timer.h"
#include "service/win32/Win32MessageLoop.h"
#include "service/win32/Win32SystemMessages.h"

namespace {

// Pumps the calling thread's messages for about `ms` milliseconds.
void Pump(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

TEST(Win32MessageLoop, TimerTicksMoveToTheThreadThatSwitchedItOnLast) {
  Win32MessageLoop loop;
  std::atomic<int> mainTicks{0};
  std::atomic<int> otherTicks{0};
  const DWORD mainThread = GetCurrentThreadId();
  TTimer timer(
      loop, 50, [&] { (GetCurrentThreadId() == mainThread ? mainTicks : otherTicks)++; }, nullptr);
  timer.SetEnabled(true);
  Pump(400);
  EXPECT_GE(mainTicks.load(), 3);

  std::thread other([&] {
    timer.SetEnabled(true);  // the timer now belongs to this thread
    Pump(400);
    timer.SetEnabled(false);
  });
  // Meanwhile the main thread keeps pumping: its old timer must no longer tick.
  Sleep(50);
  const int before = mainTicks.load();
  Pump(400);
  other.join();
  EXPECT_EQ(mainTicks.load(), before);
  EXPECT_GE(otherTicks.load(), 3);

  const int after = otherTicks.load();
  Pump(200);
  EXPECT_EQ(otherTicks.load(), after);
}

TEST(Win32MessageLoop, ControlRequestsReachTheServiceThreadOnceItHasAQueue) {
  Win32MessageLoop loop;
  EXPECT_FALSE(loop.PostThreadMessage(1025, 2));  // no service thread yet: dropped
  std::atomic<bool> ready{false};
  std::optional<QueuedMessage> received;
  std::thread service([&] {
    loop.CreateQueue();
    ready = true;
    for (int i = 0; i < 40 && !received; ++i) {
      loop.WaitMessage();
      received = loop.PeekMessage();
    }
  });
  while (!ready) {
    Sleep(1);
  }
  EXPECT_TRUE(loop.PostThreadMessage(1025, 3));
  service.join();
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->message, 1025u);
  EXPECT_EQ(received->wParam, 3u);
}

TEST(Win32MessageLoop, QuitFromAnotherThreadEndsTheMainLoop) {
  Win32MessageLoop loop;
  std::thread dispatcher([&] {
    Sleep(100);
    loop.PostQuit();
  });
  const ULONGLONG start = GetTickCount64();
  loop.RunMessageLoop();
  dispatcher.join();
  EXPECT_LT(GetTickCount64() - start, 5000u);
}

TEST(Win32SystemMessages, MessagesOfKnownCodes) {
  Win32SystemMessages messages;
  for (uint32_t code : {5u, 1060u, 1063u, 1073u}) {
    const std::u16string text = TrimSystemMessage(messages.SystemMessage(code));
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), u'.') << code;
    EXPECT_NE(text.back(), u'\n') << code;
  }
}

}  // namespace
