#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include "foundation/base/Text.h"
#include "tests/fakes/FakeShellNotify.h"

namespace {

using enum NotifyMessage;

IconHandle Token(uintptr_t n) {
  return reinterpret_cast<IconHandle>(n);
}

TEST(NotifyIconRecordSize, WholeRecordFromVistaOn) {
  struct Case {
    int32_t code;
    uint32_t expected;
  };
  // -1 is every later Windows, and also a version that cannot be read.
  const Case cases[] = {{0, 936}, {2, 936}, {3, 956}, {5, 956}, {-1, 956}};
  for (const auto& c : cases) {
    EXPECT_EQ(NotifyIconRecordSize(c.code, 956, 936), c.expected) << c.code;
  }
}

TEST(CutText, KeepsAtMostTheLimitAndNoHalfPairs) {
  struct Case {
    std::u16string text;
    size_t limit;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"", 5, u""},
      {u"abc", 3, u"abc"},
      {u"abcd", 3, u"abc"},
      {u"ab\U0001F600", 3, u"ab"},  // the pair would be cut in half
      {u"a\U0001F600b", 3, u"a\U0001F600"},
      {u"abc", 0, u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CutText(c.text, c.limit), c.expected) << ToUtf8(c.text) << " " << c.limit;
  }
}

TEST(TrayIcon, RecordAsCreated) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"Nimbellotray");
  const NotifyIconRecord& r = icon.Record();
  EXPECT_EQ(r.size, 956u);
  EXPECT_EQ(r.callbackMessage, 1025u);
  EXPECT_EQ(r.flags, NotifyFlag::Message | NotifyFlag::Icon | NotifyFlag::Tip);
  EXPECT_EQ(r.tip, u"Nimbellotray");
  EXPECT_EQ(r.balloonTimeout, 10000u);
  EXPECT_EQ(r.balloonKind, 1u);
  EXPECT_EQ(r.icon, nullptr);
  EXPECT_FALSE(icon.IsShown());
  EXPECT_TRUE(shell.calls.empty()) << "hidden when created: nothing goes to the shell";
}

TEST(TrayIcon, TextLimits) {
  struct Case {
    const char* what;
    size_t given;
    size_t kept;
  };
  const Case tips[] = {
      {"short", 5, 5}, {"at limit", 127, 127}, {"over", 128, 127}, {"long", 400, 127}};
  for (const auto& c : tips) {
    FakeShellNotify shell;
    TrayIcon icon(shell, 956, u"x");
    icon.SetHint(std::u16string(c.given, u'T'));
    EXPECT_EQ(icon.Record().tip.size(), c.kept) << "tip " << c.what;
  }
  const Case titles[] = {{"at limit", 63, 63}, {"over", 64, 63}, {"long", 300, 63}};
  for (const auto& c : titles) {
    FakeShellNotify shell;
    TrayIcon icon(shell, 956, u"x");
    icon.SetBalloonTitle(std::u16string(c.given, u'B'));
    EXPECT_EQ(icon.Record().balloonTitle.size(), c.kept) << "title " << c.what;
  }
  const Case texts[] = {{"at limit", 255, 255}, {"over", 256, 255}, {"long", 1000, 255}};
  for (const auto& c : texts) {
    FakeShellNotify shell;
    TrayIcon icon(shell, 956, u"x");
    icon.SetBalloonText(std::u16string(c.given, u'I'));
    EXPECT_EQ(icon.Record().balloonText.size(), c.kept) << "text " << c.what;
  }
}

TEST(TrayIcon, TipFlagFollowsTheTooltip) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"");
  EXPECT_EQ(icon.Record().flags & NotifyFlag::Tip, 0u);
  icon.SetHint(u"Nimbello");
  EXPECT_NE(icon.Record().flags & NotifyFlag::Tip, 0u);
  icon.SetHint(u"");
  EXPECT_EQ(icon.Record().flags & NotifyFlag::Tip, 0u);
  EXPECT_TRUE(shell.calls.empty()) << "hidden: changes are not sent";
}

TEST(TrayIcon, ShowHideAndModifySequence) {
  FakeShellNotify shell;
  {
    TrayIcon icon(shell, 956, u"Nimbellotray");
    icon.Show();
    icon.Show();  // already shown: nothing more
    icon.SetHint(u"Nimbello");
    icon.SetHint(u"Nimbello");  // unchanged: nothing sent
    icon.SetImage(Token(7));
    icon.Hide();
    icon.Hide();              // already hidden
    icon.SetImage(Token(8));  // hidden: kept, not sent
    icon.Show();
    EXPECT_EQ(shell.calls.back().record.icon, Token(0x1001)) << "the icon's own copy is shown";
    EXPECT_EQ(shell.calls.back().record.tip, u"Nimbello");
  }
  EXPECT_EQ(shell.Messages(),
            (std::vector<NotifyMessage>{Add, Modify, Modify, Delete, Add, Delete}))
      << "destruction removes a shown icon";
  EXPECT_TRUE(shell.liveCopies.empty()) << "every copy is destroyed";
}

TEST(TrayIcon, ImageCopiesAreOwnedAndReplaced) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"x");
  icon.SetImage(Token(1));
  icon.SetImage(Token(2));
  EXPECT_EQ(shell.liveCopies.size(), 1u);
  icon.SetImage(nullptr);
  EXPECT_TRUE(shell.liveCopies.empty());
  EXPECT_EQ(icon.Record().icon, nullptr);
  icon.SetImage(Token(4));
  shell.failCopies = true;
  EXPECT_THROW(icon.SetImage(Token(3)), std::runtime_error) << "the caller's guard absorbs it";
  EXPECT_EQ(icon.Record().icon, Token(0x1002)) << "a failed copy leaves the last image";
}

TEST(TrayIcon, FailedDeleteIsAnErrorWithItsText) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"x");
  icon.Show();
  shell.failDeletes = true;
  try {
    icon.Hide();
    FAIL() << "a failed delete must be reported";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Cannot remove shell notification icon");
  }
}

TEST(TrayIcon, BalloonIsSentOnce) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"x");
  icon.Show();
  icon.SetBalloonTitle(u"Nimbello Update");
  icon.SetBalloonText(u"An update");
  icon.ShowBalloon();
  icon.SetImage(Token(1));  // the next tick's picture
  icon.OnTaskbarCreated();
  ASSERT_EQ(shell.Messages(),
            (std::vector<NotifyMessage>{Add, Modify, Modify, Modify, Modify, Add}));
  for (size_t i = 0; i < shell.calls.size(); ++i) {
    const NotifyIconRecord& sent = shell.calls[i].record;
    EXPECT_EQ((sent.flags & NotifyFlag::Info) != 0, i == 3) << "call " << i;
  }
  const NotifyIconRecord& shown = shell.calls[3].record;
  EXPECT_EQ(shown.balloonKind, 1u);
  EXPECT_EQ(shown.balloonTitle, u"Nimbello Update");
  EXPECT_EQ(shown.balloonText, u"An update");
}

TEST(TrayIcon, ShownOnlyWhileTheShellHasIt) {
  struct Case {
    const char* what;
    std::vector<bool> answers;  // the shell's answers, in order
    bool shown;
    std::vector<NotifyMessage> sent;
  };
  const Case cases[] = {
      {"add taken", {true}, true, {Add, Modify}},
      {"add refused: added on the next tick", {false, false}, true, {Add, Modify, Add}},
      {"add timed out but done", {false, true}, true, {Add, Modify, Modify}},
      {"lost at a modify: added on the next tick", {true, false}, true, {Add, Modify, Add}},
      {"lost, the shell still refusing",
       {true, false, false, false},
       false,
       {Add, Modify, Add, Modify}},
  };
  for (const Case& c : cases) {
    FakeShellNotify shell;
    shell.answers = c.answers;
    TrayIcon icon(shell, 956, u"x");
    icon.Show();
    icon.SetHint(u"changed");  // a modify while shown
    icon.Show();               // the next tick
    EXPECT_EQ(icon.IsShown(), c.shown) << c.what;
    EXPECT_EQ(shell.Messages(), c.sent) << c.what;
  }
}

TEST(TrayIcon, MouseAndBalloonEvents) {
  struct Case {
    uint32_t event;
    int popups;
    int doubleClicks;
    int balloonClicks;
  };
  const Case cases[] = {
      {0x0205, 1, 0, 0},  // right button up
      {0x0203, 0, 1, 0},  // left double click
      {0x0206, 0, 1, 0},  // right double click
      {0x0209, 0, 1, 0},  // middle double click
      {0x0201, 0, 0, 0},  // left button down: a single left click does nothing
      {0x0202, 0, 0, 0},  // left button up
      {0x0204, 0, 0, 0},  // right button down
      {0x0200, 0, 0, 0},  // mouse move
      {0x0405, 0, 0, 1},  // balloon clicked
      {0x0402, 0, 0, 0},  // balloon shown
  };
  for (const auto& c : cases) {
    FakeShellNotify shell;
    TrayIcon icon(shell, 956, u"x");
    int popups = 0, doubleClicks = 0, balloonClicks = 0;
    icon.onPopup = [&] { ++popups; };
    icon.onDoubleClick = [&] { ++doubleClicks; };
    icon.onBalloonClick = [&] { ++balloonClicks; };
    icon.OnNotify(c.event);
    EXPECT_EQ(popups, c.popups) << std::hex << c.event;
    EXPECT_EQ(doubleClicks, c.doubleClicks) << std::hex << c.event;
    EXPECT_EQ(balloonClicks, c.balloonClicks) << std::hex << c.event;
  }
}

TEST(TrayIcon, TaskbarCreatedAddsAShownIconAgain) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"x");
  icon.OnTaskbarCreated();
  EXPECT_TRUE(shell.calls.empty()) << "a hidden icon stays hidden";
  icon.Show();
  icon.OnTaskbarCreated();
  EXPECT_EQ(shell.Messages(), (std::vector<NotifyMessage>{Add, Add}));
  EXPECT_TRUE(icon.IsShown());
}

TEST(TrayIcon, EndSessionRemovesTheIcon) {
  FakeShellNotify shell;
  TrayIcon icon(shell, 956, u"x");
  icon.Show();
  icon.OnEndSession(false);  // the session goes on
  EXPECT_TRUE(icon.IsShown());
  icon.OnEndSession(true);
  EXPECT_FALSE(icon.IsShown());
  EXPECT_EQ(shell.Messages(), (std::vector<NotifyMessage>{Add, Delete}));
}

}  // namespace
