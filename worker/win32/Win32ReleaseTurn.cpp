#include "worker/win32/Win32ReleaseTurn.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "foundation/Constants.h"
#include "foundation/base/win32/WideText.h"
#include "worker/ReleaseTurnOwner.h"

namespace {

// Only administrators (SYSTEM among them) reach the global objects, and they own them: a user's
// object of the same name is never taken for one of ours.
constexpr wchar_t GlobalSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

// A user who holds one name of the turn moves it to the next; holding all of them stops the
// privileged workers from running, never makes them wait long or run side by side.
constexpr int NameCandidates = 4;

bool RunsAsAdministrator() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(sid);
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         CheckTokenMembership(nullptr, sid, &member) && member;
}

std::optional<std::u16string> OwnerOf(HANDLE object) {
  PSID owner = nullptr;
  UniqueLocalMemory descriptor;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr,
                      reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS ||
      owner == nullptr) {
    return std::nullopt;
  }
  UniqueLocalMemory text;
  if (!ConvertSidToStringSidW(owner, reinterpret_cast<LPWSTR*>(text.put()))) {
    return std::nullopt;
  }
  return FromWide(static_cast<const wchar_t*>(text.get()));
}

// An object made anew, or an existing one whose owner is the turn's. Nothing for an object of
// another kind or owner under the name, or one that refuses us.
template <class Make>
UniqueKernelHandle MakeOrOpen(Make make, SECURITY_ATTRIBUTES* attributes) {
  SetLastError(ERROR_SUCCESS);
  UniqueKernelHandle object(make(attributes));
  if (object && attributes != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    const std::optional<std::u16string> owner = OwnerOf(object.get());
    if (!IsTurnOwner(owner ? std::optional<std::u16string_view>(*owner) : std::nullopt)) {
      object.reset();
    }
  }
  return object;
}

}  // namespace

bool Win32ReleaseTurn::Join() {
  if (count_) {
    return true;
  }
  const bool global = RunsAsAdministrator();
  UniqueLocalMemory descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  if (global) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            GlobalSecurity, SDDL_REVISION_1,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr)) {
      return false;
    }
    attributes.lpSecurityDescriptor = descriptor.get();
  }
  SECURITY_ATTRIBUTES* const checked = global ? &attributes : nullptr;
  const std::wstring name = Wide(Constants::ReleaseWorkerMutex);
  const std::wstring base = global ? name : L"Local\\" + name.substr(name.find(L'\\') + 1);
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
