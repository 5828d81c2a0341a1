#include "worker/win32/Win32ReleaseTurn.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "foundation/Constants.h"
#include "foundation/base/win32/ModuleFileName.h"
#include "foundation/base/win32/WideText.h"
#include "worker/ReleaseTurnOwner.h"
#include "worker/win32/Win32WorkerObjects.h"

namespace {

// SYSTEM and the Administrators alone may open the lock file, and they own it.
constexpr wchar_t TurnFileSecurity[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Where in the lock file each place is locked, and where the count lies.
constexpr DWORD WorkingByte = 0;
constexpr DWORD WaitingByte = 1;
constexpr DWORD GuardByte = 2;
constexpr DWORD CountOffset = 8;
// A lock is polled in these steps; the guard is held for one read and one write, so waiting for
// it is bounded too.
constexpr DWORD PollMilliseconds = 20;
constexpr DWORD GuardMilliseconds = 2000;

std::u16string CurrentAccount() {
  UniqueKernelHandle token;
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
      !GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
    return {};
  }
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid).value_or(u"");
}

bool TryLock(HANDLE file, DWORD offset) {
  OVERLAPPED at{};
  at.Offset = offset;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

void Unlock(HANDLE file, DWORD offset) {
  OVERLAPPED at{};
  at.Offset = offset;
  UnlockFileEx(file, 0, 1, 0, &at);
}

// Polls the lock until it is taken or the time is up; at least one try. The 32-bit count's
// difference stays right across its wrap.
bool LockWithin(HANDLE file, DWORD offset, uint32_t milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (TryLock(file, offset)) {
      return true;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount() - start >= milliseconds) {
      return false;
    }
    Sleep(PollMilliseconds);
  }
}

}  // namespace

bool Win32ReleaseTurn::Join() {
  if (!joined_) {
    joined_ = RunsAsAdministrator() ? JoinFolderTurn() : JoinSessionTurn();
  }
  return joined_;
}

bool Win32ReleaseTurn::JoinFolderTurn() {
  std::u16string path = ModuleFileName();
  const size_t slash = path.find_last_of(u"\\/");
  if (slash == std::u16string::npos) {
    return false;
  }
  path.resize(slash + 1);
  path += TurnFileName;
  UniqueLocalMemory descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          TurnFileSecurity, SDDL_REVISION_1,
          reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
  // Never through a reparse point: one put there would move the lock out of the folder.
  const HANDLE opened = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    return false;
  }
  UniqueKernelHandle file(opened);
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file.get(), &information)) {
    return false;
  }
  const std::optional<std::u16string> owner = OwnerOf(file.get(), SE_FILE_OBJECT);
  if (!IsTurnFile((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                  owner ? std::optional<std::u16string_view>(*owner) : std::nullopt,
                  CurrentAccount())) {
    return false;
  }
  file_ = std::move(file);
  return true;
}

bool Win32ReleaseTurn::JoinSessionTurn() {
  const std::wstring name = Wide(Constants::ReleaseWorkerMutex);
  const std::wstring stem = L"Local\\" + name.substr(name.find(L'\\') + 1);
  working_.reset(CreateMutexW(nullptr, FALSE, stem.c_str()));
  waiting_.reset(CreateMutexW(nullptr, FALSE, (stem + L".Waiting").c_str()));
  handedOn_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG),
                                     (stem + L".HandedOn").c_str()));
  if (working_ && waiting_ && handedOn_) {
    count_.reset(MapViewOfFile(handedOn_.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  }
  return static_cast<bool>(count_);
}

uint32_t Win32ReleaseTurn::UpdateFileCount(uint32_t add, bool take) {
  if (!LockWithin(file_.get(), GuardByte, GuardMilliseconds)) {
    return 0;
  }
  LONG held = 0;
  DWORD done = 0;
  OVERLAPPED at{};
  at.Offset = CountOffset;
  if (!ReadFile(file_.get(), &held, sizeof(held), &done, &at) || done != sizeof(held)) {
    held = 0;  // a new file, or one cut short
  }
  held = std::max<LONG>(held, 0);
  const LONG next =
      take ? 0
           : static_cast<LONG>(std::min<long long>(static_cast<long long>(held) + add, LONG_MAX));
  at = OVERLAPPED{};
  at.Offset = CountOffset;
  WriteFile(file_.get(), &next, sizeof(next), &done, &at);
  Unlock(file_.get(), GuardByte);
  return static_cast<uint32_t>(held);
}

TurnPlace Win32ReleaseTurn::TakeWaitingPlace() {
  if (!Join()) {
    return TurnPlace::Unavailable;
  }
  if (file_) {
    if (TryLock(file_.get(), WaitingByte)) {
      holdsWaiting_ = true;
      return TurnPlace::Waiting;
    }
    return GetLastError() == ERROR_LOCK_VIOLATION ? TurnPlace::Occupied : TurnPlace::Unavailable;
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
  if (file_) {
    UpdateFileCount(megabytes, false);
    return;
  }
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
  if (file_) {
    // A lock of a worker that ended is given back by Windows: nothing is ever abandoned here.
    holdsWorking_ = LockWithin(file_.get(), WorkingByte, milliseconds);
    return holdsWorking_ ? TurnResult::Acquired : TurnResult::TimedOut;
  }
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
  if (file_) {
    const uint32_t handed = holdsWaiting_ ? UpdateFileCount(0, true) : 0;
    if (holdsWaiting_) {
      Unlock(file_.get(), WaitingByte);
      holdsWaiting_ = false;
    }
    return handed;
  }
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
    if (file_) {
      Unlock(file_.get(), WorkingByte);
    } else {
      ReleaseMutex(working_.get());
    }
    holdsWorking_ = false;
  }
}
