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
  struct Case {
    const char* what;
    std::u16string argument;
    Load load;
    bool running;
    bool startsApplet;
    size_t releases;  // starts of the release worker
    int finds;        // single-instance tests
  };
  const Case cases[] = {
      {"no argument", u"", Load::Absent, false, true, 0, 1},
      {"no argument, applet running", u"", Load::True, true, false, 0, 1},
      {"no argument ignores LoadNimbello", u"", Load::False, false, true, 0, 1},
      {"/freemem, none running", u"/freemem", Load::Absent, false, true, 1, 1},
      {"/freemem, applet running", u"/freemem", Load::True, true, false, 1, 1},
      {"/FREEMEM with automatic start off", u"/FREEMEM", Load::False, false, true, 1, 1},
      {"/FreeMem", u"/FreeMem", Load::True, false, true, 1, 1},
      {"/start, LoadNimbello absent", u"/start", Load::Absent, false, true, 0, 1},
      {"/start, LoadNimbello true", u"/start", Load::True, false, true, 0, 1},
      {"/start, LoadNimbello of another type", u"/start", Load::Text, false, true, 0, 1},
      {"/start, LoadNimbello false", u"/start", Load::False, false, false, 0, 0},
      {"/START, LoadNimbello false, applet running", u"/START", Load::False, true, false, 0, 0},
      {"/start, applet running", u"/start", Load::True, true, false, 0, 1},
      {"only begins with /freemem", u"/freemem2", Load::False, false, true, 0, 1},
      {"no slash", u"start", Load::False, false, true, 0, 1},
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
    if (c.running) {
      desktop.classes = {u"TNBTrayForm"};
    }
    const bool started =
        PrepareStartup(c.argument, CustomRegistry(registry), system, launcher, desktop);
    EXPECT_EQ(started, c.startsApplet) << c.what;
    EXPECT_EQ(launcher.WorkerArguments().size(), c.releases) << c.what;
    EXPECT_EQ(desktop.finds, c.finds) << c.what;
    for (const auto& line : desktop.log) {
      EXPECT_EQ(line.rfind("Find", 0), 0u) << c.what << ": the running applet is left untouched";
    }
  }
}

TEST(PrepareStartup, FreeMemFailureDoesNotStopStartup) {
  FakeRegistry registry;
  FakeSystemInfo system;
  system.memory.reset();  // no memory figures at all
  FakeLauncher launcher;
  launcher.failStarts = true;
  FakeDesktopWindows desktop;
  EXPECT_TRUE(PrepareStartup(u"/freemem", CustomRegistry(registry), system, launcher, desktop));
  EXPECT_EQ(desktop.finds, 1);
}

TEST(PrepareStartup, FreeMemAsksForTheMemoryToFreeShare) {
  FakeRegistry registry;
  registry.PutDword(u"MemoryFree", 50);
  FakeSystemInfo system;
  system.memory = MemoryStatus{4096 * MB, 100 * MB};
  FakeLauncher launcher;
  FakeDesktopWindows desktop;
  PrepareStartup(u"/freemem", CustomRegistry(registry), system, launcher, desktop);
  EXPECT_EQ(launcher.WorkerArguments(), (std::vector<std::u16string>{u"1024", u"1024"}));
}

TEST(PrepareStartup, FailingInstanceTestCountsAsNoApplet) {
  FakeRegistry registry;
  FakeSystemInfo system;
  FakeLauncher launcher;
  FakeDesktopWindows desktop;
  desktop.classes = {u"TNBTrayForm"};
  desktop.failFind = true;
  EXPECT_TRUE(PrepareStartup(u"", CustomRegistry(registry), system, launcher, desktop));
}

}  // namespace
