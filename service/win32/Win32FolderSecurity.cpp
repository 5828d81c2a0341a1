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

// The path itself, never what a reparse point there points at (FILE_FLAG_OPEN_REPARSE_POINT), a
// folder as well as a file (FILE_FLAG_BACKUP_SEMANTICS), shared with everyone, so a running program
// or an open folder is read too. Nothing when it does not exist.
std::optional<UniqueKernelHandle> OpenItself(std::u16string_view path, DWORD access) {
  const HANDLE opened = CreateFileW(
      Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return std::nullopt;
    }
    ThrowSystemError(error);
  }
  return UniqueKernelHandle(opened);
}

bool HasReparseAttribute(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) {
    ThrowSystemError(GetLastError());
  }
  return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

std::optional<PathSecurity> Win32FolderSecurity::Inspect(std::u16string_view path) {
  // READ_CONTROL for the owner and DACL, FILE_READ_ATTRIBUTES for the reparse attribute.
  const std::optional<UniqueKernelHandle> file =
      OpenItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
  if (!file) {
    return std::nullopt;
  }
  PathSecurity security;
  security.reparsePoint = HasReparseAttribute(file->get());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PSID owner = nullptr;
  const DWORD error = GetSecurityInfo(file->get(), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      &owner, nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocalMemory held(descriptor);
  if (error != ERROR_SUCCESS) {
    ThrowSystemError(error);
  }
  if (owner != nullptr) {
    security.owner = SidText(owner);
  }
  security.access = AccessEntries(descriptor);
  return security;
}

std::optional<bool> Win32FolderSecurity::IsReparsePoint(std::u16string_view path) {
  const std::optional<UniqueKernelHandle> file = OpenItself(path, FILE_READ_ATTRIBUTES);
  if (!file) {
    return std::nullopt;
  }
  return HasReparseAttribute(file->get());
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
