// Which program folders a user who is not an administrator could change.
#include "service/ProgramFolderAccess.h"

#include <gtest/gtest.h>

#include <functional>

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

// The folder's owner and the worker file's owner and DACL judged with the folder's DACL. The
// fake's folder is Program Files' and owned by the Administrators, the installer's account is an
// administrator's own, and the worker file, when there is one, carries the folder's entries.
TEST(ProgramFolderAccess, OwnersAndTheWorkerFile) {
  using F = FakeFolderSecurity&;
  const std::u16string TI = u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const std::u16string Installer = u"S-1-5-21-1-2-3-500", User = u"S-1-5-21-1-2-3-1001";
  const std::vector<AccessEntry> everyoneWrites = {{A, 0, 0x1301BF, WD}};
  struct Case {
    const char* name;
    std::function<void(F)> setUp;
    bool mayChange;
  };
  const Case cases[] = {
      {"Administrators own the folder, no worker yet", [](F) {}, false},
      {"SYSTEM owns it", [&](F f) { f.owner = SY; }, false},
      {"TrustedInstaller owns it", [&](F f) { f.owner = TI; }, false},
      {"the installing administrator owns it", [&](F f) { f.owner = Installer; }, false},
      {"a standard user made it beforehand", [&](F f) { f.owner = User; }, true},
      {"Users own it", [&](F f) { f.owner = BU; }, true},
      {"no owner", [&](F f) { f.owner.reset(); }, true},
      {"a SID that only begins like SYSTEM's", [&](F f) { f.owner = u"S-1-5-18-7"; }, true},
      {"the worker file is the folder's", [&](F f) { f.workerEntries = f.entries; }, false},
      {"a planted worker that Everyone may write", [&](F f) { f.workerEntries = everyoneWrites; },
       true},
      {"a worker file owned by a user",
       [&](F f) {
         f.workerEntries = f.entries;
         f.workerOwner = User;
       },
       true},
      {"a worker file owned by no one",
       [&](F f) {
         f.workerEntries = f.entries;
         f.workerOwner.reset();
       },
       true},
  };
  for (const Case& c : cases) {
    FakeFolderSecurity folders;
    folders.account = Installer;
    c.setUp(folders);
    EXPECT_EQ(UsersMayChangeProgramFolder(folders, u"C:\\Nimbello\\"), c.mayChange) << c.name;
  }
}

}  // namespace
