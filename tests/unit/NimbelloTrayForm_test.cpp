#include "tray/NimbelloTrayForm.h"

#include <gtest/gtest.h>

#include "foundation/LastRelease.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/FakeIconFactory.h"
#include "tests/fakes/FakeLauncher.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResources.h"
#include "tests/fakes/FakeShellNotify.h"
#include "tests/fakes/FakeSystemInfo.h"
#include "tests/fakes/FakeTrayFormHost.h"
#include "tests/fakes/FakeUpdateCheck.h"
#include "tests/fakes/ShippedFile.h"

namespace {

constexpr uint64_t MB = 1024 * 1024;

constexpr std::u16string_view EnglishSection =
    u"NBTrayForm, OpenPopup, \"Open &Nimbello\"\r\n"
    u"NBTrayForm, FreeMemPopup, \"&Free memory now\"\r\n"
    u"NBTrayForm, HelpPopup, \"&Help\"\r\n"
    u"NBTrayForm, ExitPopup, \"&Exit\"\r\n"
    u"NBTrayForm, TrayIcon, \"Nimbello\"";

struct Rig {
  FakeTrayFormHost host;
  FakeRegistry registry;
  CustomRegistry settings{registry};
  FakeResources resources;
  FakeSystemInfo system;
  FakeLauncher launcher;
  FakeShellNotify shell;
  TNBTrayForm form{host, TrayFormPorts{settings, resources, system, launcher}, shell, 956,
                   u"Nimbellotray"};
  Rig() { system.memory = MemoryStatus{2048 * MB, 512 * MB}; }
};

std::vector<std::string> MenuCaptions(TNBTrayForm& form) {
  std::vector<std::string> out;
  for (TrayMenuItem* item : form.MenuItems()) {
    out.push_back(ToUtf8(item->ComponentName()) + "=" + ToUtf8(item->Caption()) +
                  (item->IsDefault() ? " (default)" : ""));
  }
  return out;
}

TEST(ApplicationTitle, FileNameCutAtFirstDotRestLowered) {
  struct Case {
    std::u16string path;
    std::u16string title;
  };
  const Case cases[] = {
      {u"Z:\\work\\bin\\NimbelloTray.exe", u"Nimbellotray"},
      {u"C:\\A.B\\NimbelloTray.exe", u"Nimbellotray"},
      {u"NimbelloTray.x.exe", u"Nimbellotray"},
      {u"C:\\Tools\\nimbello", u"nimbello"},
      {u"C:\\Tools\\.hidden.exe", u""},
      {u"C:/unix/Style.EXE", u"Style"},
      {u"\u00C9CRAN.exe", u"\u00C9cran"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplicationTitle(c.path), c.title) << ToUtf8(c.path);
  }
}

TEST(SetProcessPriority, CodesToClasses) {
  struct Case {
    int32_t code;
    std::optional<uint32_t> priorityClass;
  };
  const Case cases[] = {{-2, 0x40},        {-1, 0x4000},       {0, 0x20},
                        {1, 0x8000},       {2, 0x80},          {3, 0x100},
                        {4, std::nullopt}, {-3, std::nullopt}, {INT32_MIN, std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(PriorityClassForCode(c.code), c.priorityClass) << c.code;
    FakeTrayFormHost host;
    host.priorityClass = 0xDEAD;
    SetProcessPriority(host, 77, c.code);
    EXPECT_EQ(host.log, std::vector<std::string>{"SetPriorityClass 77"}) << c.code;
    EXPECT_EQ(host.priorityClass, c.priorityClass) << c.code;
  }
  FakeTrayFormHost failing;
  failing.failPriority = true;
  EXPECT_NO_THROW(SetProcessPriority(failing, 1, 2));
}

TEST(TrayForm, ComponentsInDeclarationOrderAndMenuInDisplayOrder) {
  Rig rig;
  std::vector<std::string> names;
  for (CaptionedComponent* c : rig.form.Components()) {
    names.push_back(ToUtf8(c->ComponentName()));
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"TrayIcon", "MainTimer", "PopupMenu", "ExitPopup", "N1",
                                      "HelpPopup", "OpenPopup", "N2", "FreeMemPopup"}));
  EXPECT_EQ(MenuCaptions(rig.form),
            (std::vector<std::string>{"OpenPopup= (default)", "N2=-",
                                      "FreeMemPopup=", "HelpPopup=", "N1=-", "ExitPopup="}))
      << "command items have no text of their own";
  EXPECT_EQ(ToUtf8(rig.form.ComponentName()), "NBTrayForm");
}

TEST(TrayForm, FormCreateStepsInOrder) {
  Rig rig;
  rig.host.desktopFont = {u"Segoe UI", 12};
  rig.resources.PutAnsi(u"ENGLISH", EnglishSection);
  rig.form.FormCreate();
  EXPECT_EQ(rig.host.log,
            (std::vector<std::string>{"DesktopFont", "SetWindowFont Segoe UI 12",
                                      "SetWindowFont Segoe UI 9", "SetPriorityClass 4242",
                                      "RegisterHotKey 1 3 70"}));
  EXPECT_EQ(rig.host.priorityClass, 0x80u) << "high priority";
  EXPECT_EQ(MenuCaptions(rig.form),
            (std::vector<std::string>{"OpenPopup=Open &Nimbello (default)", "N2=-",
                                      "FreeMemPopup=&Free memory now", "HelpPopup=&Help", "N1=-",
                                      "ExitPopup=&Exit"}));
  EXPECT_EQ(rig.form.Icon().Record().tip, u"Nimbello");
}

TEST(TrayForm, WithoutALanguageEntryCaptionsStayEmptyAndTheTipStaysTheTitle) {
  Rig rig;
  rig.registry.PutString(u"Language", u"klingon");
  rig.resources.PutAnsi(u"ENGLISH", EnglishSection);
  rig.form.FormCreate();
  EXPECT_EQ(MenuCaptions(rig.form),
            (std::vector<std::string>{"OpenPopup= (default)", "N2=-",
                                      "FreeMemPopup=", "HelpPopup=", "N1=-", "ExitPopup="}));
  EXPECT_EQ(rig.form.Icon().Record().tip, u"Nimbellotray");
  EXPECT_EQ(rig.host.log.back(), "RegisterHotKey 1 3 70");
}

TEST(TrayForm, AFailingStepSkipsTheRest) {
  Rig rig;
  rig.host.failDesktopFont = true;
  rig.form.FormCreate();
  EXPECT_EQ(rig.host.log, std::vector<std::string>{"DesktopFont"});

  Rig taken;
  taken.host.hotKeyFree = false;  // another program has Ctrl+Alt+F: no message, nothing else
  EXPECT_NO_THROW(taken.form.FormCreate());
  taken.form.FormClose();
  EXPECT_EQ(taken.host.log.back(), "UnregisterHotKey 1");

  Rig noPriority;  // the priority cannot be set: creation goes on
  noPriority.host.failPriority = true;
  noPriority.form.FormCreate();
  EXPECT_EQ(noPriority.host.log.back(), "RegisterHotKey 1 3 70");
}

TEST(TrayForm, DesktopFontChangesAreFollowed) {
  Rig rig;
  rig.form.FormCreate();
  rig.host.desktopFont = {u"Verdana", 7};
  rig.form.DesktopFontChanged();
  EXPECT_EQ(rig.host.log.back(), "SetWindowFont Verdana 7");
  EXPECT_EQ(ToUtf8(rig.form.CurrentFont().name), "Verdana");
}

// 60 % of 2048 MB, in chunks of at most 1024 MB.
std::vector<FakeLauncher::Start> Release() {
  const std::u16string worker = u"C:\\Program Files\\Nimbello\\NimbelloDefrag.exe";
  return {{true, worker, u"1024"}, {true, worker, u"205"}};
}

TEST(TrayForm, Commands) {
  struct Case {
    const char* what;
    void (*run)(TNBTrayForm&);
    std::vector<FakeLauncher::Start> starts;
    std::vector<std::u16string> help;
  };
  const std::u16string folder = u"C:\\Program Files\\Nimbello\\";
  const Case cases[] = {
      {"open",
       [](TNBTrayForm& f) { f.OpenPopupClick(); },
       {{true, folder + u"Nimbello.exe", u""}},
       {}},
      {"double click",
       [](TNBTrayForm& f) { f.Icon().OnNotify(0x0209); },
       {{true, folder + u"Nimbello.exe", u""}},
       {}},
      {"free memory", [](TNBTrayForm& f) { f.FreeMemPopupClick(); }, Release(), {}},
      {"hot key", [](TNBTrayForm& f) { f.HotKey(); }, Release(), {}},
      {"help",
       [](TNBTrayForm& f) { f.HelpPopupClick(); },
       {},
       {folder + u"Nimbello.chm::/html/main.htm>HelpWindow"}},
      {"menu position 0 opens",
       [](TNBTrayForm& f) { f.MenuItemClick(0); },
       {{true, folder + u"Nimbello.exe", u""}},
       {}},
      {"menu position 1 is a separator", [](TNBTrayForm& f) { f.MenuItemClick(1); }, {}, {}},
      {"menu position 2 frees", [](TNBTrayForm& f) { f.MenuItemClick(2); }, Release(), {}},
      {"menu position 3 helps",
       [](TNBTrayForm& f) { f.MenuItemClick(3); },
       {},
       {folder + u"Nimbello.chm::/html/main.htm>HelpWindow"}},
      {"menu position 99", [](TNBTrayForm& f) { f.MenuItemClick(99); }, {}, {}},
  };
  for (const auto& c : cases) {
    Rig rig;
    c.run(rig.form);
    EXPECT_EQ(rig.launcher.starts, c.starts) << c.what;
    EXPECT_EQ(rig.launcher.helpTopics, c.help) << c.what;
  }
}

TEST(TrayForm, FailingCommandsAreSilent) {
  Rig rig;
  // The program folder cannot be found: each command ends before any start, nothing escapes.
  rig.launcher.failFolder = true;
  rig.form.OpenPopupClick();
  rig.form.FreeMemPopupClick();
  rig.form.HotKey();
  rig.form.HelpPopupClick();
  EXPECT_TRUE(rig.launcher.starts.empty());
  EXPECT_TRUE(rig.launcher.helpTopics.empty());
  // Refused starts were tried, and the next command works again.
  rig.launcher.failFolder = false;
  rig.launcher.failStarts = true;
  rig.form.OpenPopupClick();
  rig.form.HotKey();
  EXPECT_EQ(rig.launcher.refused.size(), 3u);  // the main program, then 1024 and 205 MB
  rig.launcher.failStarts = false;
  rig.form.OpenPopupClick();
  EXPECT_EQ(rig.launcher.starts.size(), 1u);
}

TEST(TrayForm, ExitClosesCompanionsInOrderThenItself) {
  for (size_t position : {size_t{5}, size_t{99}}) {
    Rig rig;
    if (position == 5) {
      rig.form.MenuItemClick(position);
    } else {
      rig.form.ExitPopupClick();
    }
    EXPECT_EQ(rig.host.log, (std::vector<std::string>{
                                "Close TNBAboutForm", "Close TNBAdvancedSettingsForm",
                                "Close TNBSettingsForm", "Close TNBStatsForm", "Close TNBTestForm",
                                "Close TNBMainForm", "Close TNBTrayForm", "CloseSelf"}));
  }
}

TEST(TrayForm, FormCloseUnregistersTheHotKey) {
  Rig rig;
  rig.form.FormClose();
  rig.form.FormClose();  // a second close changes nothing else
  EXPECT_EQ(rig.host.log, (std::vector<std::string>{"UnregisterHotKey 1", "UnregisterHotKey 1"}));
}

TEST(TrayForm, RightButtonOpensThePopupMenu) {
  Rig rig;
  rig.form.Icon().OnNotify(0x0205);
  rig.form.Icon().OnNotify(0x0202);  // left click: nothing
  EXPECT_EQ(rig.host.popups, 1);
}

// A clock that stands still; the tick's wait returns at once.
class StillClock : public ClockPort {
 public:
  int sleeps = 0;
  uint64_t TickCount64() override { return 1000000; }
  LocalDateTime LocalNow() override { return {2026, 12, 9, 12, 0, 0, 0}; }
  uint64_t UtcFileTime() override { return 134'100'000'000'000'000; }
  std::u16string FormatShortDate(const LocalDateTime&) override { return u"12/9/2026"; }
  std::u16string FormatLongTime(const LocalDateTime&) override { return u"12:00:00 PM"; }
  LocaleDateFormats DateFormats() override { return {u"M/d/yyyy", u"h:mm:ss tt"}; }
  void Sleep(uint32_t) override { ++sleeps; }
};

TEST(TrayForm, TicksRunTheMonitorOnceAttached) {
  Rig rig;
  rig.form.MainTimerTimer();
  EXPECT_TRUE(rig.shell.calls.empty()) << "no monitor yet: a tick does nothing";
  EXPECT_EQ(rig.form.MonitorState().updateTickCounter, 79200);

  FakeDesktop desktop;
  desktop.SetTaskbar(true);
  StillClock clock;
  FakeUpdateCheck updates;
  FakeIconFactory factory;
  CustomTrayIconImage renderer(factory);
  rig.form.AttachMonitor(TrayMonitorParts{desktop, clock, updates, renderer});
  rig.form.MainTimerTimer();
  rig.form.MainTimerTimer();
  EXPECT_EQ(rig.form.MonitorState().updateTickCounter, 79202) << "the form keeps the tick state";
  EXPECT_TRUE(rig.form.Icon().IsShown()) << "the tick shows the form's own icon";
  ASSERT_FALSE(rig.shell.calls.empty());
  EXPECT_EQ(rig.shell.calls.front().message, NotifyMessage::Add);
  EXPECT_NE(rig.form.Icon().Record().icon, nullptr) << "with the usage graph";
  EXPECT_EQ(clock.sleeps, 1) << "the wait before the first showing only";
}

TEST(TrayForm, BalloonClickStartsTheUpdater) {
  Rig rig;
  rig.form.Icon().OnNotify(0x0405);
  EXPECT_EQ(rig.launcher.starts,
            (std::vector<FakeLauncher::Start>{
                {false, u"C:\\Program Files\\Nimbello\\NimbelloUpdate.exe", u""}}));
  rig.launcher.failStarts = true;
  EXPECT_NO_THROW(rig.form.Icon().OnNotify(0x0405));
}

// A release the user asks for is answered in a balloon that leads to the main window: what the
// worker's new record says, or at once why the cool-down ends it. Ticks read no record before it.
TEST(TrayForm, ReleaseBalloons) {
  constexpr int64_t Second = 10'000'000;
  struct Case {
    const char* what;
    std::optional<int64_t> lastAgo;  // an earlier record's time before the request
    std::optional<int> recordAtTick;
    std::u16string balloon;
  };
  const Case cases[] = {
      {"first release: its record", std::nullopt, 3, u"Freed 321 MB"},
      {"10.9 s after the last", 109 * Second / 10, 3,
       u"Memory was freed 10 s ago; try again in 20 s."},
      {"after a forged future time", -3600 * Second, 1, u"Freed 321 MB"},
      {"no record within the wait", 60 * Second, 41, u""},
  };
  const std::u16string folder = u"C:\\Program Files\\Nimbello\\";
  for (const auto& c : cases) {
    Rig rig;
    rig.resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    FakeDesktop desktop;
    FakeClock clock;
    FakeUpdateCheck updates;
    FakeIconFactory factory;
    CustomTrayIconImage renderer(factory);
    rig.form.AttachMonitor(TrayMonitorParts{desktop, clock, updates, renderer});
    const auto lastReleaseReads = [&] {
      return std::count_if(rig.registry.log.begin(), rig.registry.log.end(),
                           [](const auto& a) { return a.path.ends_with(u"lastrelease"); });
    };
    rig.form.MainTimerTimer();
    EXPECT_EQ(lastReleaseReads(), 0) << c.what << ": nothing pending, nothing read";
    if (c.lastAgo) {
      RecordLastRelease(
          rig.registry,
          {100, 50, 900, clock.utcFileTime - static_cast<uint64_t>(*c.lastAgo), 3, 0});
    }
    rig.form.HotKey();
    EXPECT_EQ(rig.launcher.WorkerArguments().size(), 2u) << c.what << ": the worker decides";
    for (int tick = 0; tick < 45; ++tick) {
      if (tick == c.recordAtTick) {
        RecordLastRelease(rig.registry, {205, 321, 4000, clock.utcFileTime, 7, 1});
      }
      rig.form.MainTimerTimer();
      clock.tickCount += 1000;
      clock.utcFileTime += Second;
    }
    EXPECT_EQ(ToUtf8(rig.form.Icon().Record().balloonText), ToUtf8(c.balloon)) << c.what;
    rig.launcher.starts.clear();
    rig.form.Icon().OnNotify(0x0405);
    const std::u16string opened = c.balloon.empty() ? u"NimbelloUpdate.exe" : u"Nimbello.exe";
    ASSERT_EQ(rig.launcher.starts.size(), 1u) << c.what;
    EXPECT_EQ(rig.launcher.starts[0].file, folder + opened) << c.what;
  }
}

}  // namespace
