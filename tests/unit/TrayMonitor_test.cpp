#include "tray/TrayMonitor.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/Constants.h"
#include "foundation/DateTimeText.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/FakeIconFactory.h"
#include "tests/fakes/FakeNotificationIcon.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResources.h"
#include "tests/fakes/ShippedFile.h"
#include "tests/fakes/FakeSystemInfo.h"
#include "tests/fakes/FakeUpdateCheck.h"
#include "tests/fakes/ShippedCaptions.h"

namespace {

constexpr int32_t W = 1024;
constexpr int32_t H = 768;

std::u16string_view Shipped(std::u16string_view key, bool french) {
  for (const ShippedCaption& c : ShippedCaptions) {
    if (c.section == u"NBTrayForm" && c.key == key) {
      return french ? c.french : c.english;
    }
  }
  return {};
}

// The tray applet around one monitor: its settings, desktop, icon, clock, update check and
// renderer, with 75 % of 4 GB in use, the taskbar up and a small window in front.
struct Applet {
  FakeRegistry registry;
  CustomRegistry settings{registry};
  FakeSystemInfo system;
  FakeResources resources;
  FakeDesktop desktop;
  FakeNotificationIcon icon;
  FakeClock clock;
  FakeUpdateCheck updates;
  FakeIconFactory factory;
  CustomTrayIconImage renderer{factory};
  TrayMonitorState state;
  TrayMonitorPorts ports{settings, system, resources, desktop, icon, clock, updates, renderer};

  Applet() {
    resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    resources.Put(u"FRENCH", ReadShippedFile("French.lng"));
    system.SetMemory(4ull << 30, 1ull << 30);
    system.SetVersion(6, 0);  // Vista: version code 3
    desktop.SetTaskbar(true);
    desktop.foreground = WindowRect{100, 100, 400, 300};
  }

  void Tick() { MainTimerTimer(ports, state); }

  int Writes(std::u16string_view name) const {
    int n = 0;
    for (const auto& access : registry.log) {
      n += access.write && access.name == name ? 1 : 0;
    }
    return n;
  }
  int Accesses(std::u16string_view name) const {
    int n = 0;
    for (const auto& access : registry.log) {
      n += access.name == name ? 1 : 0;
    }
    return n;
  }
  // The stamp as the user's locale writes it, `days` before the clock's now.
  void StampDaysAgo(double days) { registry.PutString(Constants::UpdatedDate, TextDaysAgo(days)); }
  std::u16string TextDaysAgo(double days) {
    return DateTimeToText(clock, ToLocalDateTime(ToDateTime(clock.now) - days));
  }
};

// ---- 1. Full-screen detection --------------------------------------------------------------

TEST(TrayMonitorFullScreen, RectanglesAgainstThePrimaryDisplay) {
  struct Case {
    const char* what;
    WindowRect window;
    bool fullScreen;
    bool desktop = false;
  };
  const Case cases[] = {
      {"the desktop, covering the screen", {0, 0, W, H}, false, true},
      {"exactly the screen", {0, 0, W, H}, true},
      {"maximised with hidden borders", {-8, -8, W + 8, H + 8}, true},
      {"5 pixels in on every side", {5, 5, W - 5, H - 5}, true},
      {"left edge 6 in", {6, 0, W, H}, false},
      {"top edge 6 in", {0, 6, W, H}, false},
      {"right edge 6 short", {0, 0, W - 6, H}, false},
      {"bottom edge 6 short", {0, 0, W, H - 6}, false},
      {"full screen on a display to the right", {W, 0, 2 * W, H}, false},
      {"full screen on a display to the left", {-W, 0, 0, H}, false},
      {"small window", {100, 100, 400, 300}, false},
      {"extreme coordinates", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, true},
  };
  for (const Case& c : cases) {
    for (const bool stored : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (stored ? ", stored true" : ", stored false"));
      Applet applet;
      applet.registry.PutDword(Constants::FullScreen, stored ? 1 : 0);
      applet.desktop.foreground = c.window;
      applet.desktop.foregroundIsDesktop = c.desktop;
      applet.Tick();
      EXPECT_EQ(applet.registry.Dword(Constants::FullScreen), c.fullScreen ? 1u : 0u);
      EXPECT_EQ(applet.Writes(Constants::FullScreen), c.fullScreen != stored ? 1 : 0);
    }
  }
}

TEST(TrayMonitorFullScreen, WritesOnlyWhenTheStateChanges) {
  // Foreground on each tick (nothing: no foreground window) and the writes expected so far.
  struct Step {
    std::optional<WindowRect> foreground;
    int writesSoFar;
    std::optional<uint32_t> stored;
  };
  const WindowRect full{0, 0, W, H};
  const WindowRect small{10, 10, 200, 200};
  const Step steps[] = {
      {small, 0, std::nullopt},  // missing reads as false: nothing to write
      {full, 1, 1u},
      {full, 1, 1u},
      {full, 1, 1u},
      {std::nullopt, 1, 1u},
      {std::nullopt, 1, 1u},
      {small, 2, 0u},
      {small, 2, 0u},
      {full, 3, 1u},
  };
  Applet applet;
  int tick = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE("tick " + std::to_string(++tick));
    applet.desktop.foreground = s.foreground;
    applet.Tick();
    EXPECT_EQ(applet.Writes(Constants::FullScreen), s.writesSoFar);
    EXPECT_EQ(applet.registry.Dword(Constants::FullScreen), s.stored);
  }
}

TEST(TrayMonitorFullScreen, CheckOffLeavesTheStoredStateAlone) {
  Applet applet;
  applet.registry.PutDword(Constants::FullScreenCheck, 0);
  applet.registry.PutDword(Constants::FullScreen, 1);
  applet.desktop.foreground = WindowRect{10, 10, 200, 200};
  applet.Tick();
  applet.Tick();
  EXPECT_EQ(applet.registry.Dword(Constants::FullScreen), 1u);
  EXPECT_EQ(applet.Accesses(Constants::FullScreen), 0) << "neither read nor written";
  EXPECT_EQ(applet.desktop.foregroundQueries, 0);
}

// ---- 2. DefragMemory ----------------------------------------------------------------------

TEST(TrayMonitorDefragMemory, RaisedOnlyWhenItAndLoadNimbelloAreBothFalse) {
  // nullopt: the value is missing (reads as true).
  struct Case {
    std::optional<uint32_t> loadNimbello;
    std::optional<uint32_t> defragMemory;
    bool written;
  };
  const Case cases[] = {
      {0u, 0u, true},
      {0u, 1u, false},
      {1u, 0u, false},
      {1u, 1u, false},
      {std::nullopt, 0u, false},
      {0u, std::nullopt, false},
      {std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "LoadNimbello " << (c.loadNimbello ? *c.loadNimbello : 9) << " DefragMemory "
                 << (c.defragMemory ? *c.defragMemory : 9));
    Applet applet;
    if (c.loadNimbello) {
      applet.registry.PutDword(Constants::LoadNimbello, *c.loadNimbello);
    }
    if (c.defragMemory) {
      applet.registry.PutDword(Constants::DefragMemory, *c.defragMemory);
    }
    applet.Tick();
    EXPECT_EQ(applet.Writes(Constants::DefragMemory), c.written ? 1 : 0);
    if (c.written) {
      EXPECT_EQ(applet.registry.Dword(Constants::DefragMemory), 1u);
    }
  }
}

// ---- 3. Icon presence ----------------------------------------------------------------------

TEST(TrayMonitorIconPresence, FollowsLoadTrayIconAndWaitsOnlyWhenShowing) {
  struct Case {
    std::optional<uint32_t> loadTrayIcon;
    bool taskbar;
    bool shownBefore;
    bool shownAfter;
    std::vector<uint32_t> sleeps;
  };
  const Case cases[] = {
      {std::nullopt, true, false, true, {1000}},
      {1u, true, false, true, {1000}},
      {1u, true, true, true, {}},
      {1u, false, false, false, {}},
      {1u, false, true, true, {}},  // a shown icon stays even when the taskbar is gone
      {0u, true, true, false, {}},
      {0u, true, false, false, {}},
      {0u, false, true, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "LoadTrayIcon " << (c.loadTrayIcon ? *c.loadTrayIcon : 9)
                                      << " taskbar " << c.taskbar << " shown " << c.shownBefore);
    Applet applet;
    if (c.loadTrayIcon) {
      applet.registry.PutDword(Constants::LoadTrayIcon, *c.loadTrayIcon);
    }
    applet.desktop.SetTaskbar(c.taskbar);
    applet.icon.shown = c.shownBefore;
    applet.Tick();
    EXPECT_EQ(applet.icon.shown, c.shownAfter);
    EXPECT_EQ(applet.clock.sleeps, c.sleeps);
    EXPECT_EQ(applet.icon.Count("SetImage"), 1) << "the graph is drawn also while hidden";
  }
}

TEST(TrayMonitorIconPresence, ShownOnTheFirstTickThatFindsTheTaskbarAfterItsWait) {
  Applet applet;
  applet.desktop.SetTaskbar(false);
  uint64_t tickAtShow = 0;
  applet.icon.onShow = [&] { tickAtShow = applet.clock.tickCount; };
  for (int i = 0; i < 3; ++i) {
    applet.Tick();
  }
  EXPECT_FALSE(applet.icon.shown);
  EXPECT_TRUE(applet.clock.sleeps.empty());
  applet.desktop.SetTaskbar(true);
  applet.Tick();
  EXPECT_TRUE(applet.icon.shown);
  EXPECT_EQ(tickAtShow, 1000u) << "shown 1000 ms into the tick";
  // The same tick gives the new icon its graph, after showing it.
  ASSERT_GE(applet.icon.calls.size(), 2u);
  EXPECT_EQ(applet.icon.calls[applet.icon.calls.size() - 2], "Show");
  EXPECT_EQ(applet.icon.calls.back(), "SetImage");
}

TEST(TrayMonitorIconPresence, SwitchedOffAndOnAgain) {
  Applet applet;
  applet.Tick();
  ASSERT_TRUE(applet.icon.shown);
  applet.registry.PutDword(Constants::LoadTrayIcon, 0);
  applet.Tick();
  EXPECT_FALSE(applet.icon.shown);
  applet.Tick();
  EXPECT_FALSE(applet.icon.shown);
  applet.registry.PutDword(Constants::LoadTrayIcon, 1);
  applet.desktop.SetTaskbar(false);
  applet.Tick();
  EXPECT_FALSE(applet.icon.shown) << "waits for the taskbar";
  applet.desktop.SetTaskbar(true);
  applet.Tick();
  EXPECT_TRUE(applet.icon.shown);
  EXPECT_EQ(applet.icon.Count("Show"), 2);
}

// ---- 4. Update schedule ----------------------------------------------------------------------

// Ticks until the first check or the limit; the registry's log is dropped as it goes.
int TicksUntilCheck(Applet& applet, int limit) {
  const int before = applet.updates.checks;
  for (int n = 1; n <= limit; ++n) {
    applet.Tick();
    applet.registry.log.clear();
    if (applet.updates.checks != before) {
      return n;
    }
  }
  return 0;
}

TEST(TrayMonitorUpdateSchedule, FirstCheckOnThe7200thTickThenEvery86400Ticks) {
  Applet applet;
  applet.system.SetMemory(0, 0);  // the ticks end before drawing: keeps the test quick
  applet.StampDaysAgo(31);
  EXPECT_EQ(applet.state.updateTickCounter, 79200);
  EXPECT_EQ(TicksUntilCheck(applet, 10000), 7200);
  EXPECT_EQ(applet.state.updateTickCounter, 0);
  // A day of ticks under the sanitizers takes too long: count a thousand of them, then carry on
  // from the day's last ticks.
  EXPECT_EQ(TicksUntilCheck(applet, 1000), 0);
  EXPECT_EQ(applet.state.updateTickCounter, 1000);
  applet.state.updateTickCounter = 86400 - 10;
  EXPECT_EQ(TicksUntilCheck(applet, 100), 10) << "the 86400th tick after the check";
  EXPECT_EQ(applet.updates.checks, 2);
}

TEST(TrayMonitorUpdateSchedule, AgeOfTheStamp) {
  struct Case {
    const char* what;
    std::optional<double> daysAgo;  // nothing: UpdatedDate missing
    bool check;
  };
  const Case cases[] = {
      {"31 days old", 31.0, true},
      {"400 days old", 400.0, true},
      {"30 days 23 hours old", 30.0 + 23.0 / 24.0, false},
      {"30 days old", 30.0, false},
      {"written now", 0.0, false},
      {"missing", std::nullopt, false},
      {"empty", std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Applet applet;
    if (c.daysAgo) {
      applet.StampDaysAgo(*c.daysAgo);
    } else if (std::string(c.what) == "empty") {
      applet.registry.PutString(Constants::UpdatedDate, u"");
    }
    applet.state.updateTickCounter = 86398;
    applet.Tick();
    EXPECT_EQ(applet.updates.checks, 0) << "the counter has not passed 86399 yet";
    for (int i = 0; i < 5; ++i) {
      applet.Tick();
    }
    EXPECT_EQ(applet.updates.checks, c.check ? 1 : 0);
    // Without a check the counter is never reset and the age is compared on every tick.
    EXPECT_EQ(applet.state.updateTickCounter, c.check ? 4 : 86404);
    EXPECT_EQ(applet.icon.Count("SetImage"), 6);
  }
}

TEST(TrayMonitorUpdateSchedule, AnswersResetTheCounterAndOnlyOneShowsTheBalloon) {
  struct Case {
    int32_t answer;
    std::optional<uint32_t> loadTrayIcon;
    const char16_t* language;  // nullptr: Language missing
    bool balloon;
    bool french;
  };
  const Case cases[] = {
      {0, std::nullopt, nullptr, false, false},   {2, std::nullopt, nullptr, false, false},
      {-1, std::nullopt, nullptr, false, false},  {1, std::nullopt, nullptr, true, false},
      {1, std::nullopt, u"french", true, true},   {1, std::nullopt, u"FRENCH", true, true},
      {1, std::nullopt, u"english", true, false}, {1, 0u, nullptr, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "answer " << c.answer << " LoadTrayIcon "
                 << (c.loadTrayIcon ? *c.loadTrayIcon : 9) << " french " << c.french);
    Applet applet;
    applet.StampDaysAgo(31);
    if (c.loadTrayIcon) {
      applet.registry.PutDword(Constants::LoadTrayIcon, *c.loadTrayIcon);
    }
    if (c.language != nullptr) {
      applet.registry.PutString(Constants::Language, c.language);
    }
    applet.updates.answer = c.answer;
    applet.state.updateTickCounter = 86399;
    applet.Tick();
    EXPECT_EQ(applet.updates.checks, 1);
    EXPECT_EQ(applet.state.updateTickCounter, 0);
    EXPECT_EQ(applet.icon.balloons, c.balloon ? 1 : 0);
    if (!c.balloon) {
      EXPECT_EQ(applet.icon.Count("Title") + applet.icon.Count("Text"), 0);
      continue;
    }
    EXPECT_EQ(applet.icon.balloonTitle, Shipped(u"BalloonTitle", c.french));
    EXPECT_EQ(applet.icon.balloonText, Shipped(u"BalloonHint", c.french));
    EXPECT_TRUE(applet.icon.shown) << "the balloon needs the icon";
    // Title and text are in place before the balloon is asked for.
    const std::vector<std::string> tail(applet.icon.calls.end() - 4, applet.icon.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Title", "Text", "Balloon", "SetImage"}));
    if (c.loadTrayIcon == 0u) {
      applet.Tick();
      EXPECT_FALSE(applet.icon.shown) << "hidden again on the next tick";
    }
  }
}

TEST(TrayMonitorUpdateSchedule, UnreadableStampSkipsTheCheckButNotTheGraph) {
  struct Case {
    const char* what;
    LocaleDateFormats user;
    LocaleDateFormats writer;  // the locale the service wrote the stamp in
    const char16_t* text;      // used instead of the writer's text when set
    bool check;
  };
  const Case cases[] = {
      {"same locale", FakeClock::EnglishUS(), FakeClock::EnglishUS(), nullptr, true},
      {"German stamp, US user", FakeClock::EnglishUS(), FakeClock::German(), nullptr, false},
      {"German stamp, German user", FakeClock::German(), FakeClock::German(), nullptr, true},
      {"Korean stamp, French user", FakeClock::French(), FakeClock::Korean(), nullptr, false},
      {"not a date", FakeClock::EnglishUS(), FakeClock::EnglishUS(), u"yesterday", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Applet applet;
    applet.clock.formats = c.writer;
    const std::u16string stamp =
        c.text != nullptr ? std::u16string(c.text) : applet.TextDaysAgo(45);
    applet.registry.PutString(Constants::UpdatedDate, stamp);
    applet.clock.formats = c.user;
    applet.state.updateTickCounter = 86399;
    for (int i = 1; i <= 4; ++i) {
      applet.system.SetMemory(100, static_cast<uint64_t>(100 - 10 * i));
      applet.Tick();
    }
    EXPECT_EQ(applet.updates.checks, c.check ? 1 : 0);
    EXPECT_EQ(applet.state.updateTickCounter, c.check ? 3 : 86403)
        << "without a check the counter goes on";
    // Every tick still drew the graph with that tick's figure.
    ASSERT_EQ(applet.icon.images.size(), 4u);
    for (IconHandle image : applet.icon.images) {
      EXPECT_NE(image, nullptr);
    }
    // Each tick's figure left its own bar: four different tops besides the empty columns.
    const auto& history = applet.renderer.UsageHistory();
    std::set<int32_t> tops(history.begin(), history.end());
    tops.erase(CustomTrayIconImage::NoBar);
    EXPECT_EQ(tops.size(), 4u) << "the icon is not frozen";
  }
}

TEST(TrayMonitorUpdateSchedule, CounterWrapsInsteadOfOverflowing) {
  Applet applet;
  applet.state.updateTickCounter = INT32_MAX;
  applet.Tick();
  EXPECT_EQ(applet.state.updateTickCounter, INT32_MIN);
  EXPECT_EQ(applet.updates.checks, 0);
}

// ---- 5 to 7. Colours, usage and the image -------------------------------------------------------

// The picture a fresh renderer draws for these colours and this percentage.
IconPicture Expected(std::u16string_view background, std::u16string_view grid,
                     std::u16string_view bar, int32_t percent) {
  FakeIconFactory factory;
  CustomTrayIconImage renderer(factory);
  renderer.RenderUsageIcon(background, grid, bar, percent);
  renderer.ReleaseUsageIcon();
  return factory.LastPicture();
}

TEST(TrayMonitorImage, DefaultColoursByVersionCodeAndSetColours) {
  struct Case {
    const char* what;
    std::optional<VersionRecord> version;
    const char16_t* setBackground;  // nullptr: missing
    std::u16string_view background, grid, bar;
  };
  const Case cases[] = {
      {"Windows 7 (code 5)", VersionRecord{6, 1, 1}, nullptr, u"clWhite", u"clGray", u"clGreen"},
      {"Server 2008 R2 (code 5)", VersionRecord{6, 1, 3}, nullptr, u"clWhite", u"clGray",
       u"clGreen"},
      {"Vista (code 3)", VersionRecord{6, 0, 1}, nullptr, u"clBlack", u"clGreen", u"clLime"},
      {"XP (code 1)", VersionRecord{5, 1, 1}, nullptr, u"clBlack", u"clGreen", u"clLime"},
      {"Windows 10 (code -1)", VersionRecord{10, 0, 1}, nullptr, u"clBlack", u"clGreen", u"clLime"},
      {"version unknown (code -1)", std::nullopt, nullptr, u"clBlack", u"clGreen", u"clLime"},
      {"Windows 7, background set", VersionRecord{6, 1, 1}, u"clNavy", u"clNavy", u"clGray",
       u"clGreen"},
      {"Vista, background set as a number", VersionRecord{6, 0, 1}, u"$0000FF", u"$0000FF",
       u"clGreen", u"clLime"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Applet applet;
    applet.system.versionEx = c.version;
    applet.system.versionBasic = c.version;
    if (c.setBackground != nullptr) {
      applet.registry.PutString(Constants::BackgroundColor, c.setBackground);
    }
    applet.system.SetMemory(1000, 250);
    applet.Tick();
    ASSERT_EQ(applet.icon.images.size(), 1u);
    ASSERT_NE(applet.icon.images[0], nullptr);
    EXPECT_EQ(applet.factory.PictureOf(applet.icon.images[0]).Pixels(),
              Expected(c.background, c.grid, c.bar, 75).Pixels());
    EXPECT_TRUE(applet.factory.live.empty()) << "the renderer's icon is released";
  }
}

TEST(TrayMonitorImage, NoTotalEndsTheTickAndKeepsTheLastPicture) {
  Applet applet;
  applet.Tick();
  ASSERT_EQ(applet.icon.images.size(), 1u);
  applet.system.SetMemory(0, 0);
  applet.registry.PutDword(Constants::LoadNimbello, 0);
  applet.registry.PutDword(Constants::DefragMemory, 0);
  applet.Tick();
  applet.Tick();
  EXPECT_EQ(applet.icon.images.size(), 1u) << "no image set";
  EXPECT_EQ(applet.factory.pictures.size(), 1u) << "nothing drawn";
  EXPECT_EQ(applet.state.updateTickCounter, 79203) << "the steps before still ran";
  EXPECT_EQ(applet.registry.Dword(Constants::DefragMemory), 1u);
}

TEST(TrayMonitorImage, BadBarColourEmptiesTheImageAndTheNextGoodOneRestoresIt) {
  Applet applet;
  applet.registry.PutString(Constants::BarColor, u"clChartreuse");
  applet.Tick();
  applet.registry.Remove(Constants::BarColor);
  applet.Tick();
  ASSERT_EQ(applet.icon.images.size(), 2u);
  EXPECT_EQ(applet.icon.images[0], nullptr);
  EXPECT_NE(applet.icon.images[1], nullptr);
  EXPECT_TRUE(applet.factory.live.empty());
}

// ---- The tick as a whole -------------------------------------------------------------------

TEST(TrayMonitorTick, AFailingStepEndsTheTickQuietlyAndTheNextTickStartsAgain) {
  Applet applet;
  applet.Tick();
  applet.registry.PutDword(Constants::LoadTrayIcon, 0);
  applet.icon.failHide = true;
  applet.desktop.foreground = WindowRect{0, 0, W, H};
  const int32_t counter = applet.state.updateTickCounter;
  applet.Tick();
  EXPECT_EQ(applet.registry.Dword(Constants::FullScreen), 1u) << "written before the failure";
  EXPECT_EQ(applet.state.updateTickCounter, counter) << "step 4 did not run";
  EXPECT_EQ(applet.icon.images.size(), 1u) << "step 7 did not run";
  applet.icon.failHide = false;
  applet.desktop.foreground = WindowRect{10, 10, 20, 20};
  applet.Tick();
  EXPECT_EQ(applet.registry.Dword(Constants::FullScreen), 0u);
  EXPECT_EQ(applet.state.updateTickCounter, counter + 1);
  EXPECT_EQ(applet.icon.images.size(), 2u);
}

TEST(TrayMonitorTick, StepsInOrder) {
  // Every port call of a tick that does everything: full screen written, DefragMemory raised, icon
  // shown after its wait, a check with a balloon, and the graph.
  Applet applet;
  std::vector<std::string> order;
  applet.icon.onShow = [&] {
    order.push_back(applet.Writes(Constants::FullScreen) == 1 ? "after FullScreen" : "early");
    order.push_back(applet.Writes(Constants::DefragMemory) == 1 ? "after DefragMemory" : "early");
    order.push_back(applet.clock.sleeps.size() == 1 ? "after the wait" : "no wait");
    order.push_back(applet.updates.checks == 0 ? "before the check" : "late");
  };
  applet.registry.PutDword(Constants::LoadNimbello, 0);
  applet.registry.PutDword(Constants::DefragMemory, 0);
  applet.desktop.foreground = WindowRect{0, 0, W, H};
  applet.StampDaysAgo(31);
  applet.updates.answer = 1;
  applet.state.updateTickCounter = 86399;
  applet.Tick();
  EXPECT_EQ(order, (std::vector<std::string>{"after FullScreen", "after DefragMemory",
                                             "after the wait", "before the check"}));
  EXPECT_EQ(applet.icon.calls,
            (std::vector<std::string>{"Show", "Title", "Text", "Balloon", "SetImage"}));
}

}  // namespace
