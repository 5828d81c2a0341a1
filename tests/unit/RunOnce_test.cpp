#include "tray/RunOnce.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeLauncher.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSystemInfo.h"
#include "tests/fakes/FakeTrayFormHost.h"

namespace {

constexpr uint64_t MB = 1024 * 1024;

TEST(StartupArgument, OnlyTheWholeArgumentWithAsciiFolding) {
  struct Case {
    std::u16string argument;
    StartupSwitch expected;
  };
  const Case cases[] = {
      {u"", StartupSwitch::None},
      {u"/freemem", StartupSwitch::FreeMem},
      {u"/FREEMEM", StartupSwitch::FreeMem},
      {u"/FreeMem", StartupSwitch::FreeMem},
      {u"/start", StartupSwitch::Start},
      {u"/START", StartupSwitch::Start},
      {u"/StArT", StartupSwitch::Start},
      {u"/freemem2", StartupSwitch::None},
      {u"/freememx", StartupSwitch::None},
      {u"freemem", StartupSwitch::None},
      {u"-freemem", StartupSwitch::None},
      {u"\\freemem", StartupSwitch::None},
      {u" /freemem", StartupSwitch::None},
      {u"/freemem ", StartupSwitch::None},
      {u"/starts", StartupSwitch::None},
      {u"start", StartupSwitch::None},
      // Only A to Z fold: the Kelvin sign and the dotted capital I are not letters k and i here.
      {u"/\u0130nstall", StartupSwitch::None},
      {u"/freemem\u212A", StartupSwitch::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyStartupArgument(c.argument), c.expected) << ToUtf8(c.argument);
  }
}

TEST(FindRunningInstance, FindsByClassAndBringsForwardOnlyWhenAsked) {
  struct Case {
    const char* what;
    std::vector<std::u16string> windows;
    bool bringForward;
    bool failFind;
    bool failForeground;
    bool expected;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"none", {}, false, false, false, false, {"Find TNBTrayForm"}},
      {"another class", {u"TNBMainForm"}, true, false, false, false, {"Find TNBTrayForm"}},
      {"found, left alone", {u"TNBTrayForm"}, false, false, false, true, {"Find TNBTrayForm"}},
      {"found, brought forward",
       {u"X", u"TNBTrayForm"},
       true,
       false,
       false,
       true,
       {"Find TNBTrayForm", "Restore 2", "Foreground 2"}},
      {"find fails", {u"TNBTrayForm"}, false, true, false, false, {"Find TNBTrayForm"}},
      {"foreground fails",
       {u"TNBTrayForm"},
       true,
       false,
       true,
       false,
       {"Find TNBTrayForm", "Restore 1", "Foreground 1"}},
  };
  for (const auto& c : cases) {
    FakeDesktopWindows desktop;
    desktop.classes = c.windows;
    desktop.failFind = c.failFind;
    desktop.failForeground = c.failForeground;
    EXPECT_EQ(FindRunningInstance(desktop, u"TNBTrayForm", c.bringForward), c.expected) << c.what;
    EXPECT_EQ(desktop.log, c.log) << c.what;
  }
}

TEST(PrepareStartup, DecisionTable) {
  enum class Load { Absent, False, True, Text };
  using enum StartupPlan;
  struct Case {
    const char* what;
    std::u16string argument;
    Load load;
    bool running;
    bool failPost;
    StartupPlan plan;
    size_t releases;  // starts of the release worker here
    std::vector<std::string> log;
  };
  const std::vector<std::string> find = {"Find TNBTrayForm"};
  const std::vector<std::string> post = {"Find TNBTrayForm", "Post 1"};
  const Case cases[] = {
      {"no argument", u"", Load::Absent, false, false, Run, 0, find},
      {"no argument, applet running", u"", Load::True, true, false, End, 0, find},
      {"no argument ignores LoadNimbello", u"", Load::False, false, false, Run, 0, find},
      {"/freemem, none running", u"/freemem", Load::Absent, false, false, RunAndFreeMemory, 0,
       find},
      {"/freemem, applet running: it answers", u"/freemem", Load::True, true, false, End, 0, post},
      {"/freemem, the message refused: freed here", u"/freemem", Load::True, true, true, End, 1,
       post},
      {"/FREEMEM with automatic start off", u"/FREEMEM", Load::False, false, false,
       RunAndFreeMemory, 0, find},
      {"/start, LoadNimbello absent", u"/start", Load::Absent, false, false, Run, 0, find},
      {"/start, LoadNimbello of another type", u"/start", Load::Text, false, false, Run, 0, find},
      {"/start, LoadNimbello false", u"/start", Load::False, false, false, End, 0, {}},
      {"/START, LoadNimbello false, applet running",
       u"/START",
       Load::False,
       true,
       false,
       End,
       0,
       {}},
      {"/start, applet running", u"/start", Load::True, true, false, End, 0, find},
      {"only begins with /freemem", u"/freemem2", Load::False, false, false, Run, 0, find},
      {"no slash", u"start", Load::False, false, false, Run, 0, find},
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    switch (c.load) {
      case Load::Absent:
        break;
      case Load::False:
        registry.PutDword(u"LoadNimbello", 0);
        break;
      case Load::True:
        registry.PutDword(u"LoadNimbello", 1);
        break;
      case Load::Text:
        registry.PutString(u"LoadNimbello", u"0");
        break;
    }
    FakeSystemInfo system;
    system.memory = MemoryStatus{1024 * MB, 512 * MB};  // 40 % of 1024 MB: one start
    FakeLauncher launcher;
    FakeDesktopWindows desktop;
    desktop.failPost = c.failPost;
    if (c.running) {
      desktop.classes = {u"TNBTrayForm"};
    }
    EXPECT_EQ(PrepareStartup(c.argument, CustomRegistry(registry), system, launcher, desktop),
              c.plan)
        << c.what;
    EXPECT_EQ(launcher.WorkerArguments().size(), c.releases) << c.what;
    EXPECT_EQ(desktop.log, c.log) << c.what << ": the running applet is sent no more than that";
  }
}

TEST(PrepareStartup, FreeMemFailureDoesNotStopStartup) {
  FakeRegistry registry;
  registry.PutDword(u"MemoryFree", 50);
  FakeSystemInfo system;
  system.memory.reset();  // no memory figures at all
  FakeLauncher launcher;
  launcher.failStarts = true;
  FakeDesktopWindows desktop;
  desktop.classes = {u"TNBTrayForm"};
  desktop.failPost = true;
  EXPECT_EQ(PrepareStartup(u"/freemem", CustomRegistry(registry), system, launcher, desktop),
            StartupPlan::End);
  EXPECT_EQ(launcher.refused.size(), 1u) << "the worker was tried once";
}

TEST(PrepareStartup, FailingInstanceTestCountsAsNoApplet) {
  FakeRegistry registry;
  FakeSystemInfo system;
  FakeLauncher launcher;
  FakeDesktopWindows desktop;
  desktop.classes = {u"TNBTrayForm"};
  desktop.failFind = true;
  EXPECT_EQ(PrepareStartup(u"", CustomRegistry(registry), system, launcher, desktop),
            StartupPlan::Run);
}

}  // namespace
