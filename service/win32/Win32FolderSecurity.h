#pragma once
// Owners and access lists of the program folder and its files, read from the file system.
#include <windows.h>

#include "service/ProgramFolderAccess.h"

class Win32FolderSecurity : public FolderSecurityPort {
 public:
  // Opens the path itself (FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, so folders
  // open too) and reads its attributes and security from that one handle.
  std::optional<PathSecurity> Inspect(std::u16string_view path) override;
  std::optional<bool> IsReparsePoint(std::u16string_view path) override;
  std::u16string CurrentAccount() override;
};

// The entries of a security descriptor's DACL, in order; one entry granting everything to
// Everyone when it has none.
std::vector<AccessEntry> AccessEntries(PSECURITY_DESCRIPTOR descriptor);
