// The main window's form against a fake dialog: what a load shows, how an edit is checked, and
// what Apply writes, refuses and names.
#include "mainwindow/NimbelloMainForm.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/Constants.h"
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    r.system.SetMemory(2048 * MB, 512 * MB);
    r.registry.PutDword(Constants::MemoryFree, 45);
    r.registry.refused = {c.refused};
    r.form.FormCreate();
    EXPECT_EQ(r.host.title, u"Nimbello");
    EXPECT_EQ(r.host.texts[IDC_FREEEDIT], u"45");
    EXPECT_EQ(r.host.texts[IDC_TRIGGEREDIT], u"85");  // a default
    EXPECT_TRUE(r.host.checked[IDC_TRAYICONCHECK]);
    EXPECT_EQ(r.host.selection[IDC_LANGUAGECOMBO], 0u);
    EXPECT_EQ(r.host.texts[IDC_INUSEVALUE], u"1536 MB (75 %)");
    EXPECT_EQ(r.host.texts[IDC_FREEHINT], u"Each release asks for 922 MB");
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

}  // namespace
