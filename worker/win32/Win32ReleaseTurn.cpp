#include "worker/win32/Win32ReleaseTurn.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "worker/win32/Win32WorkerObjects.h"

namespace {

// A user who holds one name of the turn moves it to the next; holding all of them stops the
// privileged workers from running, never makes them wait long or run side by side.
constexpr int NameCandidates = 4;

}  // namespace

bool Win32ReleaseTurn::Join() {
  if (count_) {
    return true;
  }
  const bool global = RunsAsAdministrator();
  WorkerObjectSecurity security(global);
  if (!security.ready()) {
    return false;
  }
  SECURITY_ATTRIBUTES* const checked = security.attributes();
  const std::wstring base = WorkerObjectBase(global);
  for (int candidate = 0; candidate < NameCandidates; ++candidate) {
    const std::wstring stem = candidate == 0 ? base : base + L"." + std::to_wstring(candidate);
    working_ = MakeOrOpen(
        [&](SECURITY_ATTRIBUTES* sa) { return CreateMutexW(sa, FALSE, stem.c_str()); }, checked);
    waiting_ = MakeOrOpen(
        [&](SECURITY_ATTRIBUTES* sa) {
          return CreateMutexW(sa, FALSE, (stem + L".Waiting").c_str());
        },
        checked);
    handedOn_ = MakeOrOpen(
        [&](SECURITY_ATTRIBUTES* sa) {
          return CreateFileMappingW(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, sizeof(LONG),
                                    (stem + L".HandedOn").c_str());
        },
        checked);
    if (working_ && waiting_ && handedOn_) {
      count_.reset(MapViewOfFile(handedOn_.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
      if (count_) {
        return true;
      }
    }
  }
  working_.reset();
  waiting_.reset();
  handedOn_.reset();
  return false;
}

TurnPlace Win32ReleaseTurn::TakeWaitingPlace() {
  if (!Join()) {
    return TurnPlace::Unavailable;
  }
  switch (WaitForSingleObject(waiting_.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      holdsWaiting_ = true;
      return TurnPlace::Waiting;
    case WAIT_TIMEOUT:
      return TurnPlace::Occupied;
    default:
      return TurnPlace::Unavailable;
  }
}

void Win32ReleaseTurn::HandOn(uint32_t megabytes) {
  auto* count = static_cast<volatile LONG*>(count_.get());
  if (count == nullptr) {
    return;
  }
  LONG seen = *count;
  for (;;) {
    const LONG sum =
        static_cast<LONG>(std::min<long long>(static_cast<long long>(seen) + megabytes, LONG_MAX));
    const LONG before = InterlockedCompareExchange(count, sum, seen);
    if (before == seen) {
      return;
    }
    seen = before;
  }
}

TurnResult Win32ReleaseTurn::WaitForTurn(uint32_t milliseconds) {
  switch (WaitForSingleObject(working_.get(), milliseconds)) {
    case WAIT_OBJECT_0:
      holdsWorking_ = true;
      return TurnResult::Acquired;
    case WAIT_ABANDONED:
      holdsWorking_ = true;
      return TurnResult::Abandoned;
    default:
      return TurnResult::TimedOut;
  }
}

uint32_t Win32ReleaseTurn::LeaveWaitingPlace() {
  if (holdsWaiting_) {
    ReleaseMutex(waiting_.get());
    holdsWaiting_ = false;
  }
  auto* count = static_cast<volatile LONG*>(count_.get());
  return count == nullptr ? 0
                          : static_cast<uint32_t>(std::max<LONG>(InterlockedExchange(count, 0), 0));
}

void Win32ReleaseTurn::EndTurn() {
  if (holdsWorking_) {
    ReleaseMutex(working_.get());
    holdsWorking_ = false;
  }
}
