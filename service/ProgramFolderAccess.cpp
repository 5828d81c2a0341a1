#include "service/ProgramFolderAccess.h"

#include <array>

#include "foundation/Constants.h"

namespace {

constexpr std::u16string_view Everyone = u"S-1-1-0";
constexpr std::array<std::u16string_view, 5> BroadGroups = {
    Everyone,         // Everyone
    u"S-1-5-11",      // Authenticated Users
    u"S-1-5-32-545",  // BUILTIN\Users
    u"S-1-5-4",       // INTERACTIVE
    u"S-1-5-32-546",  // BUILTIN\Guests
};

// ACE flags.
constexpr uint8_t ObjectInherit = 0x1;
constexpr uint8_t InheritOnly = 0x8;

// Generic rights as files and folders map them.
constexpr uint32_t GenericAll = 0x10000000;
constexpr uint32_t GenericWrite = 0x40000000;
constexpr uint32_t FileAllAccess = 0x001F01FF;
constexpr uint32_t FileGenericWrite = 0x00120116;

// Rights that change what the folder holds or who may change it: write data / add file, append
// data / add subfolder, delete child, write DAC, write owner.
constexpr uint32_t ChangingRights = 0x2 | 0x4 | 0x40 | 0x40000 | 0x80000;

uint32_t FileRights(uint32_t mask) {
  uint32_t rights = mask & 0x0FFFFFFF;
  if ((mask & GenericAll) != 0) {
    rights |= FileAllAccess;
  }
  if ((mask & GenericWrite) != 0) {
    rights |= FileGenericWrite;
  }
  return rights;
}

bool IsBroad(std::u16string_view sid) {
  for (const std::u16string_view group : BroadGroups) {
    if (sid == group) {
      return true;
    }
  }
  return false;
}

// Checks one scope: the folder itself (entries that are not inherit-only) or the files created in
// it (entries that files inherit).
bool MayChange(std::span<const AccessEntry> dacl, bool filesInside) {
  for (size_t i = 0; i < dacl.size(); ++i) {
    const AccessEntry& allow = dacl[i];
    const bool applies =
        filesInside ? (allow.flags & ObjectInherit) != 0 : (allow.flags & InheritOnly) == 0;
    if (!applies || allow.kind != AccessEntry::Kind::Allow || !IsBroad(allow.sid)) {
      continue;
    }
    uint32_t rights = FileRights(allow.mask) & ChangingRights;
    for (size_t j = 0; j < i && rights != 0; ++j) {
      const AccessEntry& deny = dacl[j];
      const bool denyApplies =
          filesInside ? (deny.flags & ObjectInherit) != 0 : (deny.flags & InheritOnly) == 0;
      if (denyApplies && deny.kind == AccessEntry::Kind::Deny &&
          (deny.sid == allow.sid || deny.sid == Everyone)) {
        rights &= ~FileRights(deny.mask);
      }
    }
    if (rights != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool BroadGroupsMayChange(std::span<const AccessEntry> dacl) {
  return MayChange(dacl, false) || MayChange(dacl, true);
}

bool IsAdministrativeOwner(std::optional<std::u16string_view> owner, std::u16string_view account) {
  constexpr std::array<std::u16string_view, 3> Administrative = {
      u"S-1-5-18",                                                        // SYSTEM
      u"S-1-5-32-544",                                                    // BUILTIN\Administrators
      u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
  };
  if (!owner || owner->empty()) {
    return false;
  }
  for (const std::u16string_view sid : Administrative) {
    if (*owner == sid) {
      return true;
    }
  }
  return *owner == account;
}

bool UsersMayChangeProgramFolder(FolderSecurityPort& port, std::u16string_view folder) {
  const std::u16string account = port.CurrentAccount();
  const auto owned = [&](std::u16string_view path) {
    const std::optional<std::u16string> owner = port.Owner(path);
    return IsAdministrativeOwner(owner ? std::optional<std::u16string_view>(*owner) : std::nullopt,
                                 account);
  };
  if (!owned(folder) || BroadGroupsMayChange(port.FolderAccess(folder))) {
    return true;
  }
  const std::u16string worker =
      std::u16string(folder) + std::u16string(Constants::ReleaseWorkerFile);
  const std::optional<std::vector<AccessEntry>> file = port.FileAccess(worker);
  return file && (!owned(worker) || BroadGroupsMayChange(*file));
}
