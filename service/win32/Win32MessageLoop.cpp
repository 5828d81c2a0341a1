#include "service/win32/Win32MessageLoop.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "foundation/base/Guard.h"

namespace {

// Thread timers call back without context: the live ones are looked up here by thread and
// timer identifier.
struct TimerTable {
  std::mutex lock;
  std::map<uint64_t, TimerTarget*> targets;
};

TimerTable& Timers() {
  static TimerTable table;
  return table;
}

uint64_t TimerKey(DWORD thread, UINT_PTR id) {
  return (static_cast<uint64_t>(thread) << 32) | static_cast<uint32_t>(id);
}

void CALLBACK TimerProc(HWND /*window*/, UINT /*message*/, UINT_PTR id, DWORD /*time*/) {
  const uint64_t key = TimerKey(GetCurrentThreadId(), id);
  TimerTarget* target = nullptr;
  {
    std::lock_guard lock(Timers().lock);
    const auto found = Timers().targets.find(key);
    if (found != Timers().targets.end()) {
      target = found->second;
    }
  }
  if (target == nullptr) {
    // Forgotten from another thread: only the owning thread can remove it, and this is it.
    ::KillTimer(nullptr, id);
    return;
  }
  // Nothing may unwind into the dispatching code of Windows.
  guarded([&] { target->TimerTick(key); });
}

}  // namespace

Win32MessageLoop::Win32MessageLoop() : main_thread_(GetCurrentThreadId()) {
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

void Win32MessageLoop::RunMessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void Win32MessageLoop::PostQuit() {
  ::PostThreadMessageW(main_thread_, WM_QUIT, 0, 0);
}

void Win32MessageLoop::CreateQueue() {
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  service_thread_.store(GetCurrentThreadId());
}

bool Win32MessageLoop::PostThreadMessage(uint32_t message, uint64_t wParam) {
  const DWORD thread = service_thread_.load();
  if (thread == 0) {
    return false;
  }
  return ::PostThreadMessageW(thread, message, static_cast<WPARAM>(wParam), 0) != FALSE;
}

std::optional<QueuedMessage> Win32MessageLoop::PeekMessage() {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    return std::nullopt;
  }
  last_ = msg;
  return QueuedMessage{msg.message, static_cast<uint64_t>(msg.wParam)};
}

void Win32MessageLoop::DispatchMessage() {
  ::TranslateMessage(&last_);
  ::DispatchMessageW(&last_);
}

void Win32MessageLoop::WaitMessage() {
  // Bounded: the caller looks at its state again after each slice.
  ::MsgWaitForMultipleObjectsEx(0, nullptr, WaitSlice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32MessageLoop::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

uint64_t Win32MessageLoop::StartTimer(uint32_t intervalMs, TimerTarget& target) {
  const UINT_PTR id = ::SetTimer(nullptr, 0, intervalMs, &TimerProc);
  if (id == 0) {
    throw std::runtime_error("SetTimer failed");
  }
  const uint64_t key = TimerKey(GetCurrentThreadId(), id);
  std::lock_guard lock(Timers().lock);
  Timers().targets[key] = &target;
  return key;
}

void Win32MessageLoop::KillTimer(uint64_t timer) {
  {
    std::lock_guard lock(Timers().lock);
    Timers().targets.erase(timer);
  }
  // Only the owning thread can kill a thread timer; on another one this fails, and the timer's
  // next tick finds no target and removes itself.
  if (static_cast<DWORD>(timer >> 32) == GetCurrentThreadId()) {
    ::KillTimer(nullptr, static_cast<UINT_PTR>(timer & 0xFFFFFFFFu));
  }
}

uint64_t Win32MessageLoop::CurrentThreadId() {
  return GetCurrentThreadId();
}
