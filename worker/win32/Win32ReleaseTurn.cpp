#include "worker/win32/Win32ReleaseTurn.h"

#include <sddl.h>

#include <string>

#include "foundation/Constants.h"
#include "foundation/win32/WideText.h"

namespace {

// The service's workers run as SYSTEM, the tray's as the user: whoever makes the mutex lets the
// other wait for it and give it back (SYNCHRONIZE | MUTEX_MODIFY_STATE), nothing more. A standard
// user cannot make Global objects at all, so a name the service's workers meet was never the
// user's to shape.
constexpr wchar_t MutexSecurity[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)";

HANDLE CreateOrOpen(const std::wstring& name) {
  UniqueLocalMemory descriptor;
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(MutexSecurity, SDDL_REVISION_1,
                                                           descriptor.put(), nullptr)) {
    attributes.lpSecurityDescriptor = descriptor.get();
  }
  HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
  if (mutex == nullptr) {
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
  }
  return mutex;
}

}  // namespace

TurnResult Win32ReleaseTurn::WaitForTurn(uint32_t milliseconds) {
  const std::wstring global = Wide(Constants::ReleaseWorkerMutex);
  mutex_.reset(CreateOrOpen(global));
  if (!mutex_) {
    // No Global mutex yet and no right to make one (a standard user's worker while no service
    // worker runs): the user's own workers still take turns in the session.
    mutex_.reset(CreateOrOpen(L"Local\\" + global.substr(global.find(L'\\') + 1)));
  }
  if (!mutex_) {
    return TurnResult::Unavailable;
  }
  switch (WaitForSingleObject(mutex_.get(), milliseconds)) {
    case WAIT_OBJECT_0:
      held_ = true;
      return TurnResult::Acquired;
    case WAIT_ABANDONED:
      held_ = true;
      return TurnResult::Abandoned;
    case WAIT_TIMEOUT:
      return TurnResult::TimedOut;
    default:
      return TurnResult::Unavailable;
  }
}

void Win32ReleaseTurn::EndTurn() {
  if (held_) {
    ReleaseMutex(mutex_.get());
    held_ = false;
  }
}
