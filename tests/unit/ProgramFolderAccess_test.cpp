// Which program folders a user who is not an administrator could change.
#include "service/ProgramFolderAccess.h"

#include <gtest/gtest.h>

#include "foundation/base/Text.h"
#include "tests/fakes/FakeServicePorts.h"

namespace {

constexpr auto A = AccessEntry::Kind::Allow;
constexpr auto D = AccessEntry::Kind::Deny;
// SDDL's flags and SIDs, spelled out.
constexpr uint8_t OICI = 0x3, OICIIO = 0xB, CIIO = 0xA;
constexpr const char16_t *SY = u"S-1-5-18", *BA = u"S-1-5-32-544", *BU = u"S-1-5-32-545",
                         *AU = u"S-1-5-11", *WD = u"S-1-1-0", *IU = u"S-1-5-4",
                         *BG = u"S-1-5-32-546", *CO = u"S-1-3-0", *Me = u"S-1-5-21-0-0-0-1000";

TEST(ProgramFolderAccess, BroadGroupsThatMayChangeTheFolderOrItsFiles) {
  struct Case {
    const char* name;
    std::vector<AccessEntry> dacl;
    bool mayChange;
  };
  const Case cases[] = {
      {"Wine's default folder",
       {{A, OICI, 0x1F01FF, SY}, {A, OICI, 0x1F01FF, Me}, {A, OICI, 0x1200A9, WD}},
       false},
      {"Program Files",
       {{A, OICI, 0x1F01FF, SY},
        {A, OICI, 0x1F01FF, BA},
        {A, 0, 0x1200A9, BU},
        {A, OICIIO, 0xA0000000, BU},
        {A, OICIIO, 0x10000000, CO}},
       false},
      {"made under C:\\: Authenticated Users modify",
       {{A, OICI, 0x1F01FF, SY}, {A, 0, 0x1301BF, AU}},
       true},
      {"files inside inherit generic write", {{A, OICIIO, 0x40000000, AU}}, true},
      {"only subfolders inherit it", {{A, CIIO, 0x40000000, AU}}, false},
      {"no DACL: everyone everything", {{A, 0, 0x10000000, WD}}, true},
      {"append only, INTERACTIVE", {{A, OICI, 0x4, IU}}, true},
      {"delete child, Guests", {{A, OICI, 0x40, BG}}, true},
      {"write DAC, Users", {{A, OICI, 0x40000, BU}}, true},
      {"take ownership, Everyone", {{A, OICI, 0x80000, WD}}, true},
      {"delete and read for Users", {{A, OICI, 0x1200A9 | 0x10000, BU}}, false},
      {"a user's own SID", {{A, OICI, 0x1F01FF, Me}}, false},
      {"deny before allow, same group",
       {{D, OICI, 0x40000000 | 0xC0000 | 0x40, AU}, {A, OICI, 0x1F01FF, AU}},
       false},
      {"Everyone's deny covers Users", {{D, OICI, 0x10000000, WD}, {A, OICI, 0x1F01FF, BU}}, false},
      {"deny after allow counts not", {{A, OICI, 0x1F01FF, AU}, {D, OICI, 0x1F01FF, AU}}, true},
      {"another group's deny counts not", {{D, OICI, 0x1F01FF, BG}, {A, OICI, 0x1F01FF, AU}}, true},
      {"deny leaves append", {{D, OICI, 0x2, BU}, {A, OICI, 0x6, BU}}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BroadGroupsMayChange(c.dacl), c.mayChange) << c.name;
  }
}

// The folder's owner and the worker file's owner and DACL judged with the folder's DACL (Program
// Files' in the fake). The installer runs as an administrator's own account.
TEST(ProgramFolderAccess, OwnersAndTheWorkerFile) {
  const std::u16string Installer = u"S-1-5-21-1-2-3-500", User = u"S-1-5-21-1-2-3-1001", No;
  const std::vector<AccessEntry> everyoneWrites = {{A, 0, 0x1301BF, WD}};
  struct Case {
    std::u16string owner, workerOwner;  // empty: none
    bool worker, plantedWritable;       // a worker file; one that Everyone may write
    bool mayChange;
  };
  // clang-format off
  const Case cases[] = {
      {BA, BA, false, false, false}, {SY, BA, false, false, false}, {Installer, BA, false, false, false},
      {u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", BA, false, false, false},
      {User, BA, false, false, true}, {BU, BA, false, false, true}, {No, BA, false, false, true},
      {u"S-1-5-18-7", BA, false, false, true},
      {BA, BA, true, false, false}, {BA, BA, true, true, true}, {BA, User, true, false, true},
      {BA, No, true, false, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    FakeFolderSecurity folders;
    folders.account = Installer;
    const auto sid = [](const std::u16string& s) {
      return s.empty() ? std::nullopt : std::optional(s);
    };
    folders.owner = sid(c.owner);
    folders.workerOwner = sid(c.workerOwner);
    if (c.worker) {
      folders.workerEntries = c.plantedWritable ? everyoneWrites : folders.entries;
    }
    EXPECT_EQ(UsersMayChangeProgramFolder(folders, u"C:\\Nimbello\\"), c.mayChange)
        << ToUtf8(c.owner) << " " << ToUtf8(c.workerOwner) << " " << c.worker;
  }
}

}  // namespace
