// Which program folders and files another account than the administrators' could change.
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
                         *AU = u"S-1-5-11", *WD = u"S-1-1-0", *IU = u"S-1-5-4", *CO = u"S-1-3-0",
                         *Me = u"S-1-5-21-0-0-0-1000", *Bob = u"S-1-5-21-1-2-3-1001",
                         *TI = u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

TEST(ProgramFolderAccess, EntriesThatLetOthersChangeIt) {
  struct Case {
    const char* name;
    std::vector<AccessEntry> dacl;
    bool mayChange;
  };
  const Case cases[] = {
      {"Wine's default folder, judged as its user",
       {{A, OICI, 0x1F01FF, SY}, {A, OICI, 0x1F01FF, Me}, {A, OICI, 0x1200A9, WD}},
       false},
      {"Program Files",
       {{A, OICI, 0x1F01FF, SY},
        {A, OICI, 0x1F01FF, BA},
        {A, 0, 0x1F01FF, TI},
        {A, 0, 0x1200A9, BU},
        {A, OICIIO, 0xA0000000, BU},
        {A, OICIIO, 0x10000000, CO}},
       false},
      {"made under C:\\: Authenticated Users modify", {{A, 0, 0x1301BF, AU}}, true},
      {"a named user's write, inherited under a profile", {{A, OICI, 0x1301BF, Bob}}, true},
      {"files inside inherit generic write", {{A, OICIIO, 0x40000000, AU}}, true},
      {"subfolders inherit it: still a grant", {{A, CIIO, 0x40000000, BU}}, true},
      {"no DACL: everyone everything", {{A, 0, 0x10000000, WD}}, true},
      {"append only", {{A, OICI, 0x4, IU}}, true},
      {"delete child", {{A, OICI, 0x40, Bob}}, true},
      {"delete", {{A, 0, 0x10000, Bob}}, true},
      {"write DAC", {{A, OICI, 0x40000, BU}}, true},
      {"take ownership", {{A, OICI, 0x80000, WD}}, true},
      {"write attributes and extended attributes only", {{A, 0, 0x1200A9 | 0x110, Bob}}, false},
      {"CREATOR OWNER on the object itself", {{A, OICI, 0x10000000, CO}}, true},
      {"a deny first takes nothing back", {{D, OICI, 0x10000000, WD}, {A, OICI, 0x2, BU}}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OthersMayChange(c.dacl, Me), c.mayChange) << c.name;
  }
}

// The folder, the folders above it, the worker and the service's file, each opened as itself.
TEST(ProgramFolderAccess, JudgesTheWholePathAndBothPrograms) {
  const std::u16string Folder = u"D:\\Apps\\Nimbello", Worker = Folder + u"\\NimbelloDefrag.exe",
                       Service = Folder + u"\\NimbelloService.exe";
  const std::vector<AccessEntry> everyoneWrites = {{A, 0, 0x1301BF, WD}};
  const std::optional<PathSecurity> Junction = PathSecurity{true, BA, {}}, None;
  struct Case {
    const char* name;
    std::u16string path;
    std::optional<PathSecurity> is;
    FolderRefusal refusal;
  };
  const Case cases[] = {
      {"all the administrators'", Folder, PathSecurity{false, SY, {}}, FolderRefusal::None},
      {"no worker yet", Worker, None, FolderRefusal::None},
      {"the folder is a junction", Folder, Junction, FolderRefusal::ReparsePoint},
      {"a folder above is a junction", u"D:\\Apps", Junction, FolderRefusal::ReparsePoint},
      {"the volume root is one", u"D:\\", Junction, FolderRefusal::ReparsePoint},
      {"the worker is a link", Worker, Junction, FolderRefusal::ReparsePoint},
      {"a user made the folder", Folder, PathSecurity{false, Bob, {}}, FolderRefusal::Owner},
      {"no owner", Folder, PathSecurity{false, std::nullopt, {}}, FolderRefusal::Owner},
      {"a user owns the service", Service, PathSecurity{false, Bob, {}}, FolderRefusal::Owner},
      {"TrustedInstaller owns the worker", Worker, PathSecurity{false, TI, {}},
       FolderRefusal::None},
      {"Everyone may write the worker", Worker, PathSecurity{false, BA, everyoneWrites},
       FolderRefusal::Access},
      {"Everyone may write the service", Service, PathSecurity{false, BA, everyoneWrites},
       FolderRefusal::Access},
      {"the folder is gone", Folder, None, FolderRefusal::Unreadable},
      {"the service file is gone", Service, None, FolderRefusal::Unreadable},
  };
  for (const Case& c : cases) {
    FakeFolderSecurity folders;
    folders.paths[c.path] = c.is;
    EXPECT_EQ(JudgeProgramFolder(folders, Folder + u"\\", Service), c.refusal) << c.name;
  }
  // Owners a user cannot give; the judging account counts only as itself.
  for (const auto& [owner, administrative] : {std::pair{SY, true},
                                              {BA, true},
                                              {TI, true},
                                              {Me, true},
                                              {Bob, false},
                                              {BU, false},
                                              {u"S-1-5-18-7", false},
                                              {u"", false}}) {
    EXPECT_EQ(IsAdministrativeOwner(owner, Me), administrative) << ToUtf8(owner);
  }
}

}  // namespace
