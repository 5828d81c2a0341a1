#include "tray/UpdateCheck.h"

#include <gtest/gtest.h>

#include "foundation/DateTimeText.h"
#include "tests/fakes/FakeHttpGet.h"
#include "tests/fakes/FakeLauncher.h"

namespace {

TEST(CheckForUpdate, AsksWithTheFixedRequest) {
  FakeHttpGet http(200, "VELTRA|1");
  EXPECT_EQ(CheckForUpdate(http), 1);
  ASSERT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(http.requests[0].path, u"/downloads/update/");
  EXPECT_EQ(http.requests[0].query, u"product=nimbello&version=6.2.28.2011");
  EXPECT_EQ(http.requests[0].userAgent, u"Mozilla/4.0 (compatible; VELTRA)");
  EXPECT_EQ(http.requests[0].maxBodyBytes, 1024u * 1024u);
}

TEST(CheckForUpdate, OnlySuccessStatusesCount) {
  struct Case {
    int32_t status;
    int32_t answer;
  };
  const Case cases[] = {{200, 1},  {204, 1},  {299, 1},  {199, -1}, {300, -1}, {301, -1},
                        {302, -1}, {304, -1}, {404, -1}, {500, -1}, {0, -1},   {-200, -1}};
  for (const auto& c : cases) {
    FakeHttpGet http(c.status, "VELTRA|1");
    EXPECT_EQ(CheckForUpdate(http), c.answer) << c.status;
  }
}

TEST(CheckForUpdate, FailedExchangeGivesMinusOne) {
  FakeHttpGet noAnswer;
  EXPECT_EQ(CheckForUpdate(noAnswer), -1);
  EXPECT_EQ(noAnswer.requests.size(), 1u);

  FakeHttpGet throwing(200, "VELTRA|1");
  throwing.throws = true;
  EXPECT_EQ(CheckForUpdate(throwing), -1);

  FakeHttpGet empty(200, "");
  EXPECT_EQ(CheckForUpdate(empty), -1);
}

TEST(CheckForUpdate, BodyDecodedByItsCharset) {
  using namespace std::string_literals;
  struct Case {
    std::string body;
    std::u16string charset;
    int32_t answer;
  };
  const Case cases[] = {
      {"VELTRA|0", u"utf-8", 0},
      {"V\0E\0L\0T\0R\0A\0|\0002\0"s, u"utf-16le", 2},
      {"\0V\0E\0L\0T\0R\0A\0|\0001"s, u"UTF-16BE", 1},
      {"\xFF\xFEV\0E\0L\0T\0R\0A\0|\0001\0"s, u"", 1},
      {"V\0E\0L\0T\0R\0A\0|\0001\0"s, u"utf-8", -1},
      {"\xE9t\xE9 VELTRA|1", u"iso-8859-1", 1},
      {"VELTRA|1", u"koi8-r", 1},
  };
  for (const auto& c : cases) {
    FakeHttpGet http(200, c.body, c.charset);
    EXPECT_EQ(CheckForUpdate(http), c.answer) << c.body;
  }
}

TEST(CheckForUpdate, OnlyTheFirstMebibyteIsSearched) {
  constexpr size_t cap = 1024 * 1024;
  struct Case {
    size_t tokenAt;
    int32_t answer;
  };
  // The port is asked for at most the cap; one that hands over more is cut there.
  const Case cases[] = {{0, 1}, {cap - 8, 1}, {cap - 7, -1}, {cap, -1}, {3 * cap, -1}};
  for (const auto& c : cases) {
    std::string body(c.tokenAt, 'x');
    body += "VELTRA|1";
    body.append(100, 'y');
    FakeHttpGet http(200, body);
    EXPECT_EQ(CheckForUpdate(http), c.answer) << c.tokenAt;
  }
}

// The schedule's age rule: every pair gives the same count in both orders.
TEST(WholeDaysBetween, WholeDaysInEitherOrder) {
  const DateTime stamp = ToDateTime({2011, 3, 1, 12, 0, 0, 0});
  struct Case {
    LocalDateTime other;
    int32_t days;
  };
  const Case cases[] = {
      {{2011, 3, 1, 12, 0, 0, 0}, 0},      {{2011, 3, 2, 0, 0, 0, 0}, 0},  // 12 hours
      {{2011, 3, 31, 11, 0, 0, 0}, 29},                                    // 29 days 23 hours
      {{2011, 4, 1, 11, 0, 0, 0}, 30},                                     // 30 days 23 hours
      {{2011, 4, 1, 11, 59, 59, 999}, 30},  // a millisecond short of 31 days
      {{2011, 4, 1, 12, 0, 0, 0}, 31},     {{2011, 4, 1, 12, 0, 0, 1}, 31},
      {{2012, 3, 1, 12, 0, 0, 0}, 366},     // across a leap day
      {{2011, 1, 30, 12, 0, 0, 0}, 30},     // the other date earlier
      {{1899, 12, 29, 6, 0, 0, 0}, 40604},  // on the far side of day 0
  };
  for (const auto& c : cases) {
    const DateTime other = ToDateTime(c.other);
    EXPECT_EQ(WholeDaysBetween(stamp, other), c.days) << other;
    EXPECT_EQ(WholeDaysBetween(other, stamp), c.days) << other;
  }
}

TEST(TrayIconBalloonClick, StartsTheUpdaterUnownedFromTheProgramFolder) {
  FakeLauncher launcher;
  launcher.folder = u"D:\\Tools\\Nimbello\\";
  TrayIconBalloonClick(launcher);
  ASSERT_EQ(launcher.starts.size(), 1u);
  EXPECT_EQ(launcher.starts[0],
            (FakeLauncher::Start{false, u"D:\\Tools\\Nimbello\\NimbelloUpdate.exe", u""}));
}

TEST(TrayIconBalloonClick, FailureIsSwallowed) {
  FakeLauncher launcher;
  launcher.failStarts = true;
  TrayIconBalloonClick(launcher);
  EXPECT_EQ(launcher.refused.size(), 1u) << "the start was tried";
  launcher.failStarts = false;
  TrayIconBalloonClick(launcher);
  EXPECT_EQ(launcher.starts.size(), 1u) << "and the next click starts it";
}

}  // namespace
