#pragma once
// The named objects release workers share (the turn, the measuring place): workers of
// administrators (the service's, as SYSTEM) keep them in the global namespace, owned by the
// Administrators; a standard user's workers in the session's own namespace, where no other user
// can make objects.
#include <windows.h>
#include <accctrl.h>

#include <optional>
#include <string>

#include "foundation/base/win32/UniqueHandle.h"

bool RunsAsAdministrator();

// A SID as text ("S-1-5-18"), and the owner of an object held open; nothing when unreadable.
std::optional<std::u16string> SidText(PSID sid);
std::optional<std::u16string> OwnerOf(HANDLE object, SE_OBJECT_TYPE type);

// Security attributes for the global objects, or none for the session's.
class WorkerObjectSecurity {
 public:
  explicit WorkerObjectSecurity(bool global);
  WorkerObjectSecurity(const WorkerObjectSecurity&) = delete;
  WorkerObjectSecurity& operator=(const WorkerObjectSecurity&) = delete;
  // False when the global descriptor could not be made.
  bool ready() const { return ready_; }
  SECURITY_ATTRIBUTES* attributes() { return global_ ? &attributes_ : nullptr; }

 private:
  bool global_;
  bool ready_ = true;
  UniqueLocalMemory descriptor_;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// The name of the workers' objects in the namespace chosen for them.
std::wstring WorkerObjectBase(bool global);

// An object made anew, or an existing one whose owner is the turn's. Nothing for an object of
// another kind or owner under the name, or one that refuses us. `attributes` is null for the
// session's own namespace, where every object is the user's anyway.
UniqueKernelHandle CheckedWorkerObject(HANDLE made, SECURITY_ATTRIBUTES* attributes);

template <class Make>
UniqueKernelHandle MakeOrOpen(Make make, SECURITY_ATTRIBUTES* attributes) {
  SetLastError(ERROR_SUCCESS);
  return CheckedWorkerObject(make(attributes), attributes);
}
