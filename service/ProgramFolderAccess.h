#pragma once
// Whether anyone but the administrators can change what the service runs. The service runs as
// LocalSystem and starts the release worker from its own folder, so a folder, worker or service
// file that another account may change, own or re-point would let that account run a program of
// its own as SYSTEM. Judged at /install and again before every release request.
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

// One entry of an access list, as the system reports it.
struct AccessEntry {
  enum class Kind { Allow, Deny, Other };
  Kind kind = Kind::Other;
  uint8_t flags = 0;   // ACE flags: object inherit 0x1, container inherit 0x2, inherit only 0x8
  uint32_t mask = 0;   // access mask, generic rights not yet mapped
  std::u16string sid;  // "S-1-5-11"
};

// What one folder or file is, read from a handle opened on the path itself: a reparse point is
// not followed, so a junction is judged as the junction, not as what it points at.
struct PathSecurity {
  bool reparsePoint = false;
  std::optional<std::u16string> owner;  // "S-1-5-32-544"; nothing when it has none
  // Entries in order. Without a DACL everyone may do everything, said with one such entry.
  std::vector<AccessEntry> access;
};

class FolderSecurityPort {
 public:
  virtual ~FolderSecurityPort() = default;
  // Nothing when the path does not exist. Throws OSFailure when it cannot be read.
  virtual std::optional<PathSecurity> Inspect(std::u16string_view path) = 0;
  // Whether the path itself is a reparse point, its security left unread (the folders above the
  // program folder); nothing when it does not exist. Throws OSFailure when it cannot be read.
  virtual std::optional<bool> IsReparsePoint(std::u16string_view path) = 0;
  // The account this program runs as.
  virtual std::u16string CurrentAccount() = 0;
};

// Why the folder is not the administrators' alone; one kind per event-log entry.
enum class FolderRefusal : uint8_t {
  None = 0,
  ReparsePoint = 1,  // the folder, one above it or one of the files is a junction or link
  Owner = 2,         // owned by an account that is not administrative
  Access = 4,        // an entry lets another account write, delete or change rights
  Unreadable = 8,    // missing, or its security could not be read
};

// An owner may always rewrite the access list, so only owners that a standard user cannot be or
// give count: SYSTEM, the Administrators, TrustedInstaller, and the account judging (SYSTEM for
// the service; the installing administrator at /install, where a platform records files as the
// account's own).
bool IsAdministrativeOwner(std::optional<std::u16string_view> owner, std::u16string_view account);

// True when an allow entry gives write, append, delete, delete-child, write-DAC or write-owner to
// an account other than SYSTEM, the Administrators, TrustedInstaller or the account judging, or to
// CREATOR OWNER where it applies to the object itself. A named user counts as much as a group.
// Deny entries take nothing back: the rule stays on the safe side of entry order.
bool OthersMayChange(std::span<const AccessEntry> dacl, std::u16string_view account);

// The program folder (with its trailing delimiter), every folder above it up to the volume root,
// the release worker in it and the service's own file. A missing worker is not judged: the folder
// decides who could put one there.
FolderRefusal JudgeProgramFolder(FolderSecurityPort& port, std::u16string_view folder,
                                 std::u16string_view serviceFile);
