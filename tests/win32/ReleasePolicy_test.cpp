// Service ticks with every real adapter: settings in the real registry, real memory figures,
// processor records and power status, the real clock and locale, and a stand-in release worker
// started through ShellExecuteW.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/DateTimeText.h"
#include "foundation/base/Text.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "service/ReleasePolicy.h"
#include "win32/support/RealPorts.h"
#include "win32/support/WineTestSupport.h"

namespace {

using namespace std::chrono_literals;

using wine_test::FolderLauncher;
using wine_test::MovedSettingsRegistry;

// The real system figures with a total of the test's choosing and nothing available, so the
// released amount is a known answer.
class FixedTotalMemory : public Win32SystemInfo {
 public:
  explicit FixedTotalMemory(uint64_t total) : total_(total) {}
  std::optional<MemoryStatus> QueryMemoryStatus() override { return MemoryStatus{total_, 0}; }

 private:
  uint64_t total_;
};

class ReleasePolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = folder_.path() + L"worker.log";
    SetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", log_.c_str());
    ASSERT_TRUE(CopyFileW((wine_test::ProgramFolder() + L"StandInWorker.exe").c_str(),
                          (folder_.path() + L"NimbelloDefrag.exe").c_str(), FALSE));
    // Memory is always low enough and nothing but the period rule stands in the way; the real
    // sampler still runs on every tick.
    Put(u"MemoryMaintain", 100);
    Put(u"ProcessorLimit", 1);
    Put(u"ProcessorTrigger", 100);
    Put(u"BatteryCheck", 0);
    Put(u"FullScreenCheck", 1);
    Put(u"FullScreen", 0);
    Put(u"ExecutePeriod", 0);
    state_.started = true;
  }
  void Put(std::u16string_view name, DWORD value) { ASSERT_TRUE(registry_.PutDword(name, value)); }

  std::vector<std::string> Starts(size_t expected, std::chrono::milliseconds limit = 20s) {
    auto lines = wine_test::WaitForLines(log_, expected, limit);
    // Wine does not always run quickly started programs in launch order.
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  // Five rounded minutes: 271 s is the first whole second that rounds to 5 (270 s is 4.5, which
  // rounds to even).
  static constexpr auto UptimeAllows = 271s;

  MovedSettingsRegistry registry_{L"NimbelloPolicyTest"};
  wine_test::TempFolder folder_;
  std::wstring log_;
  CustomRegistry settings_{registry_};
  Win32SystemInfo system_;
  FolderLauncher launcher_{folder_.path()};
  Win32Clock clock_;
  Win32ProcessorInfo processors_;
  ReleasePolicyState state_;
  ReleasePolicyPorts ports_{settings_, system_, launcher_, clock_, processors_};
};

TEST_F(ReleasePolicyTest, ReleaseTickStartsTheWorkerWithTheMemoryFreeShare) {
  ASSERT_TRUE(wine_test::WaitForUptime(UptimeAllows));
  constexpr uint64_t MB = 1024 * 1024;
  struct Case {
    uint64_t total;
    DWORD percent;
    std::vector<std::string> starts;  // worked out by hand, sorted as Starts sorts them
  };
  const Case cases[] = {
      {8192 * MB, 30, {"1024", "1024", "410"}},  // 2457.6 MB
      {4096 * MB, 33, {"1024", "328"}},          // 1351.68 MB
      {2049 * MB, 50, {"1024"}},                 // 1024.5 MB: a tie goes to the even 1024
      {2051 * MB, 50, {"1024", "2"}},            // 1025.5 MB: to the even 1026
      {1000 * MB, 100, {"1000"}},
      {1000 * MB, 0, {"0"}},
  };
  for (const Case& c : cases) {
    DeleteFileW(log_.c_str());
    Put(u"MemoryFree", c.percent);
    FixedTotalMemory memory(c.total);
    const uint64_t before = clock_.TickCount64();
    MainTimerTimer(state_, {settings_, memory, launcher_, clock_, processors_});
    const uint64_t after = clock_.TickCount64();
    std::vector<std::string> expected;
    for (const std::string& megabytes : c.starts) {
      expected.push_back("NimbelloDefrag.exe " + megabytes);
    }
    Starts(expected.size());
    // A start more than expected would come within a second.
    EXPECT_EQ(Starts(expected.size() + 1, 1s), expected)
        << c.total / MB << " MB, " << c.percent << " %";
    // The release time is the uptime in rounded seconds, taken during the tick.
    EXPECT_GE(state_.lastReleaseTime, static_cast<int32_t>(before / 1000));
    EXPECT_LE(state_.lastReleaseTime, static_cast<int32_t>(after / 1000) + 1);
  }
}

TEST_F(ReleasePolicyTest, EveryTickReleasesWithPeriodZeroAndNoneWithinThePeriod) {
  ASSERT_TRUE(wine_test::WaitForUptime(UptimeAllows));
  Put(u"MemoryFree", 0);
  for (int i = 0; i < 3; ++i) {
    MainTimerTimer(state_, ports_);
  }
  // Then the default period: the next release is five minutes away.
  Put(u"ExecutePeriod", 5);
  MainTimerTimer(state_, ports_);
  MainTimerTimer(state_, ports_);
  EXPECT_EQ(Starts(3), (std::vector<std::string>{"NimbelloDefrag.exe 0", "NimbelloDefrag.exe 0",
                                                 "NimbelloDefrag.exe 0"}));
  Sleep(500);
  EXPECT_EQ(wine_test::ReadLines(log_).size(), 3u);
}

TEST_F(ReleasePolicyTest, BlockingRulesAndAmpleMemoryStartNothing) {
  ASSERT_TRUE(wine_test::WaitForUptime(UptimeAllows));
  // A negative share is a threshold no memory figure can reach.
  Put(u"MemoryMaintain", static_cast<DWORD>(-1));
  MainTimerTimer(state_, ports_);
  Put(u"MemoryMaintain", 100);
  Put(u"FullScreen", 1);
  MainTimerTimer(state_, ports_);
  Put(u"FullScreen", 0);
  Put(u"LoadNimbello", 0);
  Put(u"DefragMemory", 0);
  MainTimerTimer(state_, ports_);
  state_.started = false;
  Put(u"DefragMemory", 1);
  MainTimerTimer(state_, ports_);
  Sleep(1000);
  EXPECT_TRUE(wine_test::ReadLines(log_).empty());
  EXPECT_EQ(state_.lastReleaseTime, 0);
}

TEST_F(ReleasePolicyTest, BatteryRuleFollowsTheRealPowerStatus) {
  ASSERT_TRUE(wine_test::WaitForUptime(UptimeAllows));
  Put(u"BatteryCheck", 1);
  Put(u"MemoryFree", 0);
  SYSTEM_POWER_STATUS status{};
  const bool known = GetSystemPowerStatus(&status) != FALSE;
  MainTimerTimer(state_, ports_);
  if (known && status.ACLineStatus == 0) {
    Sleep(1000);
    EXPECT_TRUE(wine_test::ReadLines(log_).empty());
  } else {
    EXPECT_EQ(Starts(1), std::vector<std::string>{"NimbelloDefrag.exe 0"});
  }
}

// Windows 10 for a program of its own (Wine takes the version when a process starts): with every
// processor busy, a ProcessorTrigger of 0 holds the release back and one of 100 lets it through.
TEST_F(ReleasePolicyTest, BusyProcessorsHoldTheReleaseBackOnWindows10) {
  ASSERT_TRUE(wine_test::WaitForUptime(UptimeAllows));
  const wchar_t appDefaults[] = L"Software\\Wine\\AppDefaults\\BusyReleaseTick.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, appDefaults, L"Version", REG_SZ, L"win10",
                            sizeof(L"win10")),
            ERROR_SUCCESS);
  // A backslash before the closing quote is doubled.
  const auto tick = [&](const wchar_t* trigger) {
    return wine_test::Run(L"\"" + wine_test::ProgramFolder() + L"BusyReleaseTick.exe\" \"" +
                          folder_.path() + L"\\\" " + trigger);
  };
  EXPECT_EQ(tick(L"0"), 10 - 1) << "Windows 10 has the version code -1";
  Sleep(1000);
  EXPECT_TRUE(wine_test::ReadLines(log_).empty()) << "no release while the processors are busy";
  EXPECT_EQ(tick(L"100"), 10 - 1);
  EXPECT_EQ(Starts(1), std::vector<std::string>{"NimbelloDefrag.exe 0"}) << "the control";
  RegDeleteTreeW(HKEY_CURRENT_USER, appDefaults);
}

TEST_F(ReleasePolicyTest, UpdateStampInTheProcessLocaleBeforeTheStart) {
  state_.started = false;
  Put(u"Updated", 1);
  SYSTEMTIME st{};
  GetLocalTime(&st);
  MainTimerTimer(state_, ports_);
  EXPECT_FALSE(settings_.ReadSettingBool(Constants::Updated, true));
  const std::u16string stamp = settings_.ReadSettingString(Constants::UpdatedDate, u"");
  const auto read = TextToDateTime(stamp, clock_.DateFormats());
  ASSERT_TRUE(read.has_value()) << ToUtf8(stamp);
  const DateTime then =
      ToDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond});
  EXPECT_LT(std::fabs(*read - then) * 86400.0, 5.0) << ToUtf8(stamp);

  // The flag is consumed: the next tick leaves the stamp alone.
  settings_.WriteSettingString(Constants::UpdatedDate, u"kept");
  MainTimerTimer(state_, ports_);
  EXPECT_EQ(settings_.ReadSettingString(Constants::UpdatedDate, u""), u"kept");
}

}  // namespace
