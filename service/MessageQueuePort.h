#pragma once
// The threads' message queues: the main thread's loop and the service thread's queue of control
// requests, and the execute loop's sleep.
#include <cstdint>
#include <optional>

struct QueuedMessage {
  uint32_t message = 0;
  uint64_t wParam = 0;
};

class MessageQueuePort {
 public:
  virtual ~MessageQueuePort() = default;

  // Main thread: gets and dispatches messages until a quit request arrives.
  virtual void RunMessageLoop() = 0;
  // Any thread: asks the main thread's loop to end.
  virtual void PostQuit() = 0;

  // Service thread: creates its queue; from then on posts reach it.
  virtual void CreateQueue() = 0;
  // Any thread: posts a thread message to the service thread. False when it has no queue (yet).
  virtual bool PostThreadMessage(uint32_t message, uint64_t wParam) = 0;
  // Service thread: removes the next message without waiting, or nothing when the queue is empty.
  virtual std::optional<QueuedMessage> PeekMessage() = 0;
  // Service thread: dispatches the message that PeekMessage removed last, in the ordinary way
  // (a timer message runs its timer's tick).
  virtual void DispatchMessage() = 0;
  // Service thread: returns once a message is in the queue, or at once when there is one already.
  virtual void WaitMessage() = 0;

  virtual void Sleep(uint32_t milliseconds) = 0;
};
