#include "worker/win32/Win32Trimmer.h"

#include "foundation/base/win32/SystemLibrary.h"

Win32Trimmer::Win32Trimmer()
    : kernel32_(LoadOwnedSystemLibrary(L"kernel32.dll")),
      get_(BindFunction<GetLimits>(kernel32_.get(), "GetProcessWorkingSetSizeEx")),
      set_(BindFunction<SetLimits>(kernel32_.get(), "SetProcessWorkingSetSizeEx")) {}

TrimResult Win32Trimmer::TrimWorkingSet(uint32_t id, int64_t creationTime) {
  if (get_ == nullptr || set_ == nullptr) {
    return TrimResult::Failed;
  }
  const UniqueKernelHandle process(
      OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process) {
    return TrimResult::NotOpened;
  }
  // The id may have passed to a new process since the snapshot.
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user) ||
      (int64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime) != creationTime) {
    return TrimResult::NotOpened;
  }
  // A hard minimum is a promise its owner asked for: the pages stay.
  SIZE_T minimum = 0, maximum = 0;
  DWORD flags = 0;
  if (!get_(process.get(), &minimum, &maximum, &flags)) {
    return TrimResult::Failed;
  }
  if (flags & QUOTA_LIMITS_HARDWS_MIN_ENABLE) {
    return TrimResult::HardMinimum;
  }
  return set_(process.get(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1), 0)
             ? TrimResult::Trimmed
             : TrimResult::Failed;
}
