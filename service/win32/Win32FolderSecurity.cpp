#include "service/win32/Win32FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"
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

namespace {

// "C:\Tools\" names the folder as "C:\Tools" does; a drive's root keeps its delimiter.
std::wstring PathName(std::u16string_view path) {
  std::u16string name(path);
  if (name.size() > 3 && (name.back() == u'\\' || name.back() == u'/')) {
    name.pop_back();
  }
  return Wide(name);
}

}  // namespace

std::vector<AccessEntry> Win32FolderSecurity::FolderAccess(std::u16string_view folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      GetNamedSecurityInfoW(PathName(folder).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocalMemory owner(descriptor);
  if (error != ERROR_SUCCESS) {
    ThrowSystemError(error);
  }
  return AccessEntries(descriptor);
}

std::optional<std::vector<AccessEntry>> Win32FolderSecurity::FileAccess(std::u16string_view file) {
  if (GetFileAttributesW(PathName(file).c_str()) == INVALID_FILE_ATTRIBUTES &&
      (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
    return std::nullopt;
  }
  return FolderAccess(file);
}

std::optional<std::u16string> Win32FolderSecurity::Owner(std::u16string_view path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PSID sid = nullptr;
  const DWORD error =
      GetNamedSecurityInfoW(PathName(path).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                            &sid, nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocalMemory owner(descriptor);
  if (error != ERROR_SUCCESS) {
    ThrowSystemError(error);
  }
  if (sid == nullptr) {
    return std::nullopt;
  }
  return SidText(sid);
}

std::u16string Win32FolderSecurity::CurrentAccount() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    ThrowSystemError(GetLastError());
  }
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
    ThrowSystemError(GetLastError());
  }
  return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}
