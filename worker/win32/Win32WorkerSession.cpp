#include "worker/win32/Win32WorkerSession.h"

#include <windows.h>

uint32_t Win32WorkerSession::CurrentProcessId() {
  return GetCurrentProcessId();
}

std::optional<uint32_t> Win32WorkerSession::ForegroundProcessId() {
  const HWND window = GetForegroundWindow();
  DWORD id = 0;
  if (window == nullptr || GetWindowThreadProcessId(window, &id) == 0 || id == 0) {
    return std::nullopt;
  }
  return id;
}

void Win32WorkerSession::EnterBackgroundMode() {
  // Lower processor, I/O and memory priority: trimming others must not slow the user down.
  SetPriorityClass(GetCurrentProcess(), PROCESS_MODE_BACKGROUND_BEGIN);
}
