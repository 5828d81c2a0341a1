#include "service/win32/Win32FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "foundation/win32/UniqueHandle.h"
#include "foundation/win32/WideText.h"
#include "service/FailureText.h"
#include "service/win32/Win32SystemMessages.h"

namespace {

std::u16string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) {
    return {};
  }
  const UniqueLocalMemory owner(text);
  return FromWide(text);
}

[[noreturn]] void ThrowSystemError(DWORD code) {
  Win32SystemMessages messages;
  throw MakeOSFailure(code, messages);
}

}  // namespace

std::vector<AccessEntry> AccessEntries(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    ThrowSystemError(GetLastError());
  }
  if (!present || dacl == nullptr) {
    return {{AccessEntry::Kind::Allow, 0, GENERIC_ALL, u"S-1-1-0"}};
  }
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) {
      ThrowSystemError(GetLastError());
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry entry;
    entry.flags = header->AceFlags;
    // Allowed and denied entries share one layout: header, mask, SID.
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      auto* plain = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry.kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? AccessEntry::Kind::Allow
                                                              : AccessEntry::Kind::Deny;
      entry.mask = plain->Mask;
      entry.sid = SidText(&plain->SidStart);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<AccessEntry> Win32FolderSecurity::FolderAccess(std::u16string_view folder) {
  std::u16string path(folder);
  // "C:\Tools\" names the folder as "C:\Tools" does; a drive's root keeps its delimiter.
  if (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/')) {
    path.pop_back();
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const std::wstring w_path = Wide(path);
  const DWORD error =
      GetNamedSecurityInfoW(w_path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocalMemory owner(descriptor);
  if (error != ERROR_SUCCESS) {
    ThrowSystemError(error);
  }
  return AccessEntries(descriptor);
}
