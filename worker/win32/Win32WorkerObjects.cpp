#include "worker/win32/Win32WorkerObjects.h"

#include <aclapi.h>
#include <sddl.h>

#include <optional>

#include "foundation/Constants.h"
#include "foundation/base/win32/WideText.h"
#include "worker/ReleaseTurnOwner.h"

namespace {

// Only administrators (SYSTEM among them) reach the global objects, and they own them: a user's
// object of the same name is never taken for one of ours.
constexpr wchar_t GlobalSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

}  // namespace

std::optional<std::u16string> SidText(PSID sid) {
  UniqueLocalMemory text;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(text.put()))) {
    return std::nullopt;
  }
  return FromWide(static_cast<const wchar_t*>(text.get()));
}

std::optional<std::u16string> OwnerOf(HANDLE object, SE_OBJECT_TYPE type) {
  PSID owner = nullptr;
  UniqueLocalMemory descriptor;
  if (GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return SidText(owner);
}

bool RunsAsAdministrator() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(sid);
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         CheckTokenMembership(nullptr, sid, &member) && member;
}

WorkerObjectSecurity::WorkerObjectSecurity(bool global) : global_(global) {
  if (global_) {
    ready_ = ConvertStringSecurityDescriptorToSecurityDescriptorW(
                 GlobalSecurity, SDDL_REVISION_1,
                 reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor_.put()), nullptr) != FALSE;
    attributes_.lpSecurityDescriptor = descriptor_.get();
  }
}

std::wstring WorkerObjectBase(bool global) {
  const std::wstring name = Wide(Constants::ReleaseWorkerMutex);
  return global ? name : L"Local\\" + name.substr(name.find(L'\\') + 1);
}

UniqueKernelHandle CheckedWorkerObject(HANDLE made, SECURITY_ATTRIBUTES* attributes) {
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  UniqueKernelHandle object(made);
  if (object && attributes != nullptr && existed) {
    const std::optional<std::u16string> owner = OwnerOf(object.get(), SE_KERNEL_OBJECT);
    if (!IsPrivilegedOwner(owner ? std::optional<std::u16string_view>(*owner) : std::nullopt)) {
      object.reset();
    }
  }
  return object;
}
