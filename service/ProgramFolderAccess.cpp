#include "service/ProgramFolderAccess.h"

#include <array>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"

namespace {

constexpr std::u16string_view CreatorOwner = u"S-1-3-0";
constexpr std::array<std::u16string_view, 3> Administrative = {
    u"S-1-5-18",                                                        // SYSTEM
    u"S-1-5-32-544",                                                    // BUILTIN\Administrators
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

// ACE flags.
constexpr uint8_t InheritOnly = 0x8;

// Generic rights as files and folders map them.
constexpr uint32_t GenericAll = 0x10000000;
constexpr uint32_t GenericWrite = 0x40000000;
constexpr uint32_t FileAllAccess = 0x001F01FF;
constexpr uint32_t FileGenericWrite = 0x00120116;

// Write data / add file, append data / add subfolder, delete child, delete, write DAC, write
// owner: each lets its holder change what runs or who may change it.
constexpr uint32_t ChangingRights = 0x2 | 0x4 | 0x40 | 0x10000 | 0x40000 | 0x80000;

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

bool IsAdministrative(std::u16string_view sid, std::u16string_view account) {
  for (const std::u16string_view known : Administrative) {
    if (sid == known) {
      return true;
    }
  }
  return !account.empty() && sid == account;
}

// One path's own owner and entries; a reparse point fails before either is looked at.
FolderRefusal JudgePath(const PathSecurity& path, std::u16string_view account) {
  if (path.reparsePoint) {
    return FolderRefusal::ReparsePoint;
  }
  if (!IsAdministrativeOwner(
          path.owner ? std::optional<std::u16string_view>(*path.owner) : std::nullopt, account)) {
    return FolderRefusal::Owner;
  }
  return OthersMayChange(path.access, account) ? FolderRefusal::Access : FolderRefusal::None;
}

}  // namespace

bool IsAdministrativeOwner(std::optional<std::u16string_view> owner, std::u16string_view account) {
  return owner && !owner->empty() && IsAdministrative(*owner, account);
}

bool OthersMayChange(std::span<const AccessEntry> dacl, std::u16string_view account) {
  for (const AccessEntry& entry : dacl) {
    if (entry.kind != AccessEntry::Kind::Allow || IsAdministrative(entry.sid, account)) {
      continue;
    }
    // CREATOR OWNER stands for whoever creates a child; only on the object itself is it a grant.
    if (entry.sid == CreatorOwner && (entry.flags & InheritOnly) != 0) {
      continue;
    }
    if ((FileRights(entry.mask) & ChangingRights) != 0) {
      return true;
    }
  }
  return false;
}

FolderRefusal JudgeProgramFolder(FolderSecurityPort& port, std::u16string_view folder,
                                 std::u16string_view serviceFile) {
  return guarded_or<FolderRefusal>(FolderRefusal::Unreadable, [&] {
    const std::u16string account = port.CurrentAccount();
    std::u16string path(folder);
    while (path.size() > 3 && (path.back() == u'\\' || path.back() == u'/')) {
      path.pop_back();
    }
    const std::optional<PathSecurity> own = port.Inspect(path);
    if (!own) {
      return FolderRefusal::Unreadable;
    }
    if (const FolderRefusal refusal = JudgePath(*own, account); refusal != FolderRefusal::None) {
      return refusal;
    }
    // Every folder above, up to the volume root ("C:\"): re-pointing any of them re-points this
    // one.
    for (size_t cut = path.find_last_of(u"\\/"); cut != std::u16string::npos && cut >= 2;
         cut = path.find_last_of(u"\\/")) {
      path.resize(cut == 2 ? 3 : cut);
      const std::optional<bool> above = port.IsReparsePoint(path);
      if (!above) {
        return FolderRefusal::Unreadable;
      }
      if (*above) {
        return FolderRefusal::ReparsePoint;
      }
      if (cut == 2) {
        break;
      }
    }
    std::u16string worker(folder);
    if (!worker.ends_with(u'\\') && !worker.ends_with(u'/')) {
      worker += u'\\';
    }
    worker += Constants::ReleaseWorkerFile;
    for (const std::u16string_view file : {std::u16string_view(worker), serviceFile}) {
      const std::optional<PathSecurity> found = port.Inspect(file);
      if (!found) {
        if (file == serviceFile) {
          return FolderRefusal::Unreadable;
        }
        continue;
      }
      if (const FolderRefusal refusal = JudgePath(*found, account);
          refusal != FolderRefusal::None) {
        return refusal;
      }
    }
    return FolderRefusal::None;
  });
}
