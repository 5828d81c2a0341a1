#pragma once
// The thread that runs a service: its start handler, its execute handler and every control request.
#include <atomic>
#include <cstdint>

class TService;

class TServiceThread {
 public:
  explicit TServiceThread(TService& service) : service_(service) {}

  // The thread's body. Never lets a failure escape.
  void Execute();

  // Processes the queued messages: control requests, and anything else dispatched the ordinary
  // way. Without waitForMessage it returns once the queue is empty (a paused service stays in
  // here until a request arrives); with it, it runs until the thread is marked terminated.
  void ProcessRequests(bool waitForMessage);

  bool Terminated() const { return terminated_.load(); }
  void Terminate() { terminated_.store(true); }

 private:
  void ProcessRequest(uint32_t code);

  TService& service_;
  std::atomic<bool> terminated_{false};
};
