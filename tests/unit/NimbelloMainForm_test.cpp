// The main window's form against a fake dialog: what a load shows, how an edit is checked, and
// what Apply writes, refuses and names.
#include "mainwindow/NimbelloMainForm.h"

#include <gtest/gtest.h>

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
};

TEST(NimbelloMainForm, LoadEditAndApply) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::u16string>> typed;
    std::vector<int> clicked;
    std::optional<size_t> language;
    std::u16string refused;  // by the registry
    std::map<std::u16string, uint32_t> written;
    std::u16string message;    // a warning when a control gets the focus, else an error
    std::optional<int> focus;  // the control of the value refused before anything is written
    std::u16string freeHint;
  };
  const std::u16string hint = u"Each release asks for 922 MB";
  const std::vector<Case> cases = {
      {"nothing changed: OK writes nothing and closes", {}, {}, {}, u"", {}, u"", {}, hint},
      {"an edit is written with its type",
       {{IDC_MAINTAINEDIT, u" 25 "}},
       {},
       {},
       u"",
       {{u"MemoryMaintain", 25}},
       u"",
       {},
       hint},
      {"a value that is no number holds back every write",
       {{IDC_MAINTAINEDIT, u"25"}, {IDC_FREEEDIT, u"half"}},
       {},
       {},
       u"",
       {},
       u"Memory to free (%): must be a whole number from 1 to 99.",
       IDC_FREEEDIT,
       u""},
      {"one value refused: the others are written, it is named and stays changed",
       {},
       {IDC_BATTERYCHECK, IDC_PROCESSORCHECK},
       1,
       u"Language",
       {{u"BatteryCheck", 1}, {u"ProcessorLimit", 0}},
       u"These settings could not be saved: Language:. Changing them needs the rights that the "
       u"installer gives to administrators.",
       {},
       hint},
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
    EXPECT_EQ(r.host.texts[IDC_INUSEVALUE], u"1536 MB (75 %)");
    EXPECT_EQ(r.host.texts[IDC_LASTRELEASEVALUE], u"No release yet");
    EXPECT_NE(r.form.Picture(IDC_GRAPH), nullptr);
    EXPECT_FALSE(r.host.enabled[IDC_APPLY]);
    const size_t loadWrites = r.registry.writes;

    // What the dialog manager does when the user types, clicks or chooses: a notification.
    for (const auto& [control, text] : c.typed) {
      r.host.texts[control] = text;
      r.form.Command(control, true);
    }
    for (const int control : c.clicked) {
      r.host.checked[control] = !r.host.checked[control];
      r.form.Command(control, true);
    }
    if (c.language) {
      r.host.selection[IDC_LANGUAGECOMBO] = c.language;
      r.form.Command(IDC_LANGUAGECOMBO, true);
    }
    EXPECT_EQ(r.host.texts[IDC_FREEHINT], c.freeHint);
    EXPECT_EQ(r.host.enabled[IDC_TRIGGEREDIT], r.host.checked[IDC_PROCESSORCHECK]);
    const bool edited = !c.typed.empty() || !c.clicked.empty() || c.language;
    EXPECT_EQ(r.host.enabled[IDC_APPLY], edited);

    r.form.Command(OKButtonId, false);
    EXPECT_EQ(r.registry.writes - loadWrites, c.written.size());
    for (const auto& [name, value] : c.written) {
      EXPECT_EQ(r.registry.Find(name)->type, RegType::Dword);
      EXPECT_EQ(r.registry.Dword(name), value);
    }
    std::vector<std::pair<MessageKind, std::u16string>> messages;
    if (!c.message.empty()) {
      messages.emplace_back(c.focus ? MessageKind::Warning : MessageKind::Error, c.message);
    }
    EXPECT_EQ(r.host.messages, messages);
    EXPECT_EQ(r.host.focus, c.focus);
    // What was not saved keeps the window open and Apply on.
    EXPECT_EQ(r.host.closed, c.message.empty());
    EXPECT_EQ(r.host.enabled[IDC_APPLY], !c.message.empty());
  }
}

}  // namespace
