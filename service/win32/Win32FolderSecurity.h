#pragma once
// Owners and access lists of the program folder and its files, read from the file system.
#include <windows.h>

#include "service/ProgramFolderAccess.h"

class Win32FolderSecurity : public FolderSecurityPort {
 public:
  std::vector<AccessEntry> FolderAccess(std::u16string_view folder) override;
  std::optional<std::vector<AccessEntry>> FileAccess(std::u16string_view file) override;
  std::optional<std::u16string> Owner(std::u16string_view path) override;
  std::u16string CurrentAccount() override;
};

// The entries of a security descriptor's DACL, in order; one entry granting everything to
// Everyone when it has none.
std::vector<AccessEntry> AccessEntries(PSECURITY_DESCRIPTOR descriptor);
