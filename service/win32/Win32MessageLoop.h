#pragma once
// Message queues, thread timers and the execute loop's sleep. Made on the main thread, whose queue
// exists from then on; the service thread's queue exists once that thread has called CreateQueue.
#include <windows.h>

#include <atomic>

#include "service/MessageQueuePort.h"
#include "service/TimerPort.h"

class Win32MessageLoop : public MessageQueuePort, public TimerPort {
 public:
  Win32MessageLoop();

  void RunMessageLoop() override;
  void PostQuit() override;
  void CreateQueue() override;
  bool PostThreadMessage(uint32_t message, uint64_t wParam) override;
  std::optional<QueuedMessage> PeekMessage() override;
  void DispatchMessage() override;
  void WaitMessage() override;
  void Sleep(uint32_t milliseconds) override;

  uint64_t StartTimer(uint32_t intervalMs, TimerTarget& target) override;
  void KillTimer(uint64_t timer) override;
  uint64_t CurrentThreadId() override;

  // How long WaitMessage waits at most before it lets its caller look again.
  static constexpr DWORD WaitSlice = 500;

 private:
  const DWORD main_thread_;
  std::atomic<DWORD> service_thread_{0};
  MSG last_{};  // the message PeekMessage removed last; only the service thread peeks
};
