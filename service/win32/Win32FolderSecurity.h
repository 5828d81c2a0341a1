#pragma once
// A folder's access list, read from the file system.
#include <windows.h>

#include "service/ProgramFolderAccess.h"

class Win32FolderSecurity : public FolderSecurityPort {
 public:
  std::vector<AccessEntry> FolderAccess(std::u16string_view folder) override;
};

// The entries of a security descriptor's DACL, in order; one entry granting everything to
// Everyone when it has none.
std::vector<AccessEntry> AccessEntries(PSECURITY_DESCRIPTOR descriptor);
