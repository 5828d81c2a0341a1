#include "worker/win32/Win32ReleaseMeasuring.h"

#include <string>

#include "worker/win32/Win32WorkerObjects.h"

bool Win32ReleaseMeasuring::Join() {
  if (measuring_ && released_) {
    return true;
  }
  const bool global = RunsAsAdministrator();
  WorkerObjectSecurity security(global);
  if (!security.ready()) {
    return false;
  }
  const std::wstring base = WorkerObjectBase(global);
  measuring_ = MakeOrOpen(
      [&](SECURITY_ATTRIBUTES* sa) {
        return CreateMutexW(sa, FALSE, (base + L".Measuring").c_str());
      },
      security.attributes());
  released_ = MakeOrOpen(
      [&](SECURITY_ATTRIBUTES* sa) {
        return CreateEventW(sa, TRUE, FALSE, (base + L".Released").c_str());
      },
      security.attributes());
  return measuring_ && released_;
}

void Win32ReleaseMeasuring::AnnounceRelease() {
  if (Join()) {
    SetEvent(released_.get());
  }
}

bool Win32ReleaseMeasuring::TakeMeasuringPlace(uint32_t milliseconds) {
  if (!Join()) {
    return false;
  }
  const DWORD result = WaitForSingleObject(measuring_.get(), milliseconds);
  holds_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  return holds_;
}

void Win32ReleaseMeasuring::ClearAnnouncements() {
  if (released_) {
    ResetEvent(released_.get());
  }
}

bool Win32ReleaseMeasuring::WaitForAnnouncement(uint32_t milliseconds) {
  if (!released_) {
    Sleep(milliseconds);
    return false;
  }
  return WaitForSingleObject(released_.get(), milliseconds) == WAIT_OBJECT_0;
}

void Win32ReleaseMeasuring::LeaveMeasuringPlace() {
  if (holds_) {
    ReleaseMutex(measuring_.get());
    holds_ = false;
  }
}
