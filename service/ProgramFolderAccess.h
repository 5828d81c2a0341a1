#pragma once
// Whether users who are not administrators can change what is in the program folder. The service
// runs as LocalSystem and starts the release worker from that folder, so such a folder would let
// any user run a program of their own as SYSTEM.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Why an install from a folder that users can change is refused, when the language file has no
// text for it; "%s" stands for the folder.
inline constexpr std::u16string_view UnsafeFolderText =
    u"Users who are not administrators can change the folder %s. Install Nimbello in a folder "
    u"that only administrators can change, such as Program Files.";

// One entry of a folder's access list, as the system reports it.
struct AccessEntry {
  enum class Kind { Allow, Deny, Other };
  Kind kind = Kind::Other;
  uint8_t flags = 0;   // ACE flags: object inherit 0x1, container inherit 0x2, inherit only 0x8
  uint32_t mask = 0;   // access mask, generic rights not yet mapped
  std::u16string sid;  // "S-1-5-11"
};

// The folder's access list, entries in order. A folder without one (no DACL) grants everything
// to everyone, and says so with one entry. Throws OSFailure when it cannot be read.
class FolderSecurityPort {
 public:
  virtual ~FolderSecurityPort() = default;
  virtual std::vector<AccessEntry> FolderAccess(std::u16string_view folder) = 0;
  // A file's access list as above; nothing when there is no such file.
  virtual std::optional<std::vector<AccessEntry>> FileAccess(std::u16string_view file) = 0;
  // The owner of a folder or file, "S-1-5-32-544"; nothing when it has none. Throws OSFailure
  // when it cannot be read.
  virtual std::optional<std::u16string> Owner(std::u16string_view path) = 0;
  // The account this program runs as.
  virtual std::u16string CurrentAccount() = 0;
};

// An owner may always rewrite the access list, so only owners that a standard user cannot be or
// give count: SYSTEM, the Administrators, TrustedInstaller, and the administrator who installs.
bool IsAdministrativeOwner(std::optional<std::u16string_view> owner, std::u16string_view account);

// Whether users who are not administrators could change the program folder or the release worker
// in it: an owner who is not administrative, or broad groups that may change them. A missing
// worker file is not judged; the folder decides who could put one there.
bool UsersMayChangeProgramFolder(FolderSecurityPort& port, std::u16string_view folder);

// True when Everyone, Authenticated Users, Users, INTERACTIVE or Guests may write, append, delete
// children, change permissions or take ownership, of the folder itself or of the files created in
// it. Only allow entries grant; an earlier deny entry of the same group or of Everyone takes its
// rights back.
bool BroadGroupsMayChange(std::span<const AccessEntry> dacl);
