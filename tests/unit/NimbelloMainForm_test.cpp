// The main window's form against a fake dialog: what a load shows, how an edit is checked, and
// what Apply writes, refuses and names.
#include "mainwindow/NimbelloMainForm.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/Constants.h"
#include "foundation/LastRelease.h"
#include "foundation/ReleaseHistory.h"
#include "mainwindow/MainFormIds.h"
#include "tests/fakes/FakeIconFactory.h"
#include "tests/fakes/FakeLauncher.h"
#include "tests/fakes/FakeMainFormHost.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResources.h"
#include "tests/fakes/FakeSystemInfo.h"
#include "tests/fakes/ShippedFile.h"

namespace {

constexpr uint64_t MB = 1024 * 1024;

struct Rig {
  FakeMainFormHost host;
  RefusingRegistry registry;
  FakeSystemInfo system;
  FakeLauncher launcher;
  FakeResources resources;
  FakeIconFactory colors;
  TNBMainForm form{host, {registry, system, launcher, resources, colors}};

  // What the dialog manager does when the user types or clicks: the control's notification.
  void Type(int control, std::u16string_view text) {
    host.texts[control] = text;
    form.Command(control, true);
  }
  void Click(int control) {
    host.checked[control] = !host.checked[control];
    form.Command(control, true);
  }
  void Choose(int control, size_t position) {
    host.selection[control] = position;
    form.Command(control, true);
  }
};

TEST(NimbelloMainForm, LoadEditAndApply) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> edit;  // what the user does before OK
    std::u16string refused;          // the value the registry refuses
    bool applyEnabled;               // after the edit
    std::map<std::u16string, uint32_t> written;
    std::vector<std::pair<MessageKind, std::u16string>> messages;
    std::optional<int> focus;
    bool closed;
    std::optional<uint32_t> policyMemoryFree = {};  // in the policy key
  };
  const std::vector<Case> cases = {
      {"nothing changed: OK writes nothing and closes", [](Rig&) {}, u"", false, {}, {}, {}, true},
      {"an edit is written with its type",
       [](Rig& r) {
         r.Type(IDC_MAINTAINEDIT, u" 25 ");
         EXPECT_EQ(r.host.texts[IDC_MAINTAINHINT], u"Releases when less than 512 MB is available");
       },
       u"",
       true,
       {{u"MemoryMaintain", 25}},
       {},
       {},
       true},
      {"a value out of range holds back every write",
       [](Rig& r) {
         r.Type(IDC_MAINTAINEDIT, u"25");
         r.Type(IDC_FREEEDIT, u"half");
         EXPECT_EQ(r.host.texts[IDC_FREEHINT], u"");
         r.Type(IDC_FREEEDIT, u"45");
         r.Type(IDC_PERIODEDIT, u"0");
       },
       u"",
       true,
       {},
       {{MessageKind::Warning,
         u"Minutes between releases: must be a whole number from 1 to 1440."}},
       IDC_PERIODEDIT,
       false},
      {"one value refused: the others are written, it is named and stays changed",
       [](Rig& r) {
         r.Click(IDC_BATTERYCHECK);
         r.Choose(IDC_LANGUAGECOMBO, 1);
         r.Click(IDC_PROCESSORCHECK);
         EXPECT_FALSE(r.host.enabled[IDC_TRIGGEREDIT]);
       },
       u"Language",
       true,
       {{u"BatteryCheck", 1}, {u"ProcessorLimit", 0}},
       {{MessageKind::Error,
         u"These settings could not be saved: Language:. Changing them needs the rights that the "
         u"installer gives to administrators."}},
       {},
       false},
      {"a policy's value is shown locked and never written",
       [](Rig& r) {
         EXPECT_FALSE(r.host.enabled[IDC_FREEEDIT]);
         EXPECT_TRUE(r.host.enabled[IDC_MAINTAINEDIT]);
         EXPECT_EQ(r.host.texts[IDC_POLICYNOTE], u"Some settings are set by your administrator.");
         r.Type(IDC_FREEEDIT, u"50");  // a message to the disabled control changes nothing
         r.Click(IDC_BATTERYCHECK);
       },
       u"",
       true,
       {{u"BatteryCheck", 1}},
       {},
       {},
       true,
       30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    r.system.SetMemory(2048 * MB, 512 * MB);
    r.registry.PutDword(Constants::MemoryFree, 45);
    r.registry.refused = {c.refused};
    if (c.policyMemoryFree) {
      r.registry.Put(RegistryRoot::LocalMachine, Constants::PolicyKey, Constants::MemoryFree,
                     RegType::Dword, {std::byte(*c.policyMemoryFree), {}, {}, {}});
    }
    r.form.FormCreate();
    EXPECT_EQ(r.host.title, u"Nimbello");
    EXPECT_EQ(r.host.texts[IDC_FREEEDIT], c.policyMemoryFree ? u"30" : u"45");
    EXPECT_EQ(r.host.texts[IDC_TRIGGEREDIT], u"85");  // a default
    EXPECT_TRUE(r.host.checked[IDC_TRAYICONCHECK]);
    EXPECT_EQ(r.host.selection[IDC_LANGUAGECOMBO], 0u);
    EXPECT_EQ(r.host.texts[IDC_INUSEVALUE], u"1536 MB (75 %)");
    EXPECT_EQ(r.host.texts[IDC_FREEHINT], c.policyMemoryFree ? u"Each release asks for 614 MB"
                                                             : u"Each release asks for 922 MB");
    EXPECT_EQ(r.host.texts[IDC_LASTRELEASEVALUE], u"No release yet");
    EXPECT_EQ(r.host.texts[IDC_SERVICEVALUE], u"Running");
    EXPECT_NE(r.form.Picture(IDC_GRAPH), nullptr);
    EXPECT_FALSE(r.host.enabled[IDC_APPLY]);
    const size_t loadWrites = r.registry.writes;

    c.edit(r);
    EXPECT_EQ(r.host.enabled[IDC_APPLY], c.applyEnabled);
    r.form.Command(OKButtonId, false);
    EXPECT_EQ(r.registry.writes - loadWrites, c.written.size());
    for (const auto& [name, value] : c.written) {
      EXPECT_EQ(r.registry.Find(name)->type, RegType::Dword);
      EXPECT_EQ(r.registry.Dword(name), value);
    }
    EXPECT_EQ(r.host.messages, c.messages);
    EXPECT_EQ(r.host.focus, c.focus);
    EXPECT_EQ(r.host.closed, c.closed);
    // What was not saved keeps Apply on.
    EXPECT_EQ(r.host.enabled[IDC_APPLY], !c.closed);
  }
}

// The worker's line names a 32-bit worker on 64-bit Windows before anything it spares; the last
// release shows what came back once measured, and the history draws the drop and the regrowth.
TEST(NimbelloMainForm, ReleaseWorkerView) {
  // A DOS header whose e_lfanew points at "PE\0\0" and the machine, cut to `size` bytes.
  const auto image = [](uint16_t machine, size_t size = 0x86, uint8_t lfanew = 0x80) {
    std::vector<std::byte> bytes(0x86);
    bytes[0] = std::byte{'M'}, bytes[1] = std::byte{'Z'}, bytes[0x3C] = std::byte{lfanew};
    bytes[0x80] = std::byte{'P'}, bytes[0x81] = std::byte{'E'};
    bytes[0x84] = std::byte(machine & 0xFF), bytes[0x85] = std::byte(machine >> 8);
    bytes.resize(size);
    return bytes;
  };
  struct Case {
    const char* name;
    bool windows64;
    std::vector<std::byte> worker;
    std::u16string line;
  };
  const std::u16string mismatch =
      u"The release worker is 32-bit; this Windows needs the 64-bit one.";
  const Case cases[] = {
      {"32-bit worker, 64-bit Windows", true, image(0x14C), mismatch},
      {"64-bit worker, 64-bit Windows", true, image(0x8664), u"Spared: none"},
      {"32-bit worker, 32-bit Windows", false, image(0x14C), u"Spared: none"},
      {"header cut short", true, image(0x14C, 0x85), u"Spared: none"},
      {"e_lfanew beyond the file", true, image(0x14C, 0x86, 0xFF), u"Spared: none"},
      {"no PE signature there", true, image(0x14C, 0x86, 0x7C), u"Spared: none"},
      {"no worker file", true, {}, u"Spared: none"},
  };
  constexpr uint64_t Now = 0x01DB4A2B3C4D5E6Full;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    r.system.SetMemory(2048 * MB, 512 * MB);
    r.host.now = Now;
    r.host.windows64 = c.windows64;
    r.host.files[u"C:\\Program Files\\Nimbello\\NimbelloDefrag.exe"] = c.worker;
    LastRelease record{400, 250, 3100, Now - 600'000'000, 9, 2};
    RecordLastRelease(r.registry, record);
    r.form.FormCreate();
    EXPECT_EQ(r.host.texts[IDC_WORKERVALUE], c.line);
    EXPECT_TRUE(r.host.texts[IDC_LASTRELEASEVALUE].ends_with(u"refused; not measured yet"));

    record.dropped = 300, record.regrown = 100, record.faults = 700, record.window = 60;
    RecordMeasuredRelease(r.registry, record);
    AppendReleaseHistory(r.registry, record, Now, 2048 * MB);
    r.form.MainTimerTimer();
    EXPECT_TRUE(r.host.texts[IDC_LASTRELEASEVALUE].ends_with(
        u"; 100 MB came back within a minute (700 faults, 0 from disk)"));
    const IconPicture* history = r.form.Picture(IDC_HISTORY);
    ASSERT_NE(history, nullptr);
    const int32_t x = history->Width() - 2, bottom = history->Height() - 1;
    EXPECT_NE(history->Pixel(x, bottom), history->Pixel(x, bottom / 2)) << "came back, dropped";
  }
}

}  // namespace
