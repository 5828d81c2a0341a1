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
#include "foundation/RAM.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/Text.h"
#include "foundation/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "service/ReleasePolicy.h"
#include "win32/support/MovedSettings.h"
#include "win32/support/WineTestSupport.h"

namespace {

using namespace std::chrono_literals;

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
  // The programs read their settings in the 32-bit view, so the test writes and removes its key
  // there.
  void TearDown() override {
    HKEY parent = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\VELTRA", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                      &parent) == ERROR_SUCCESS) {
      RegDeleteTreeW(parent, sub_.substr(sub_.find_last_of(L'\\') + 1).c_str());
      RegCloseKey(parent);
    }
  }

  void Put(std::u16string_view name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), 0, nullptr, 0,
                              KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, Wide(name).c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  // The worker arguments expected for MemoryFree percent of the machine's memory: 1024 per
  // chunk, the remainder last.
  std::vector<std::string> ExpectedStarts(int32_t percent) {
    int32_t remaining = GetReleaseMegabytes(percent, GetTotalPhysicalMemory(system_));
    std::vector<std::string> starts;
    do {
      starts.push_back("NimbelloDefrag.exe " + std::to_string(std::min(remaining, 1024)));
      remaining -= 1024;
    } while (remaining > 0);
    std::sort(starts.begin(), starts.end());
    return starts;
  }

  std::vector<std::string> Starts(size_t expected) {
    auto lines = wine_test::WaitForLines(log_, expected, 20s);
    // Wine does not always run quickly started programs in launch order.
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  void SkipWhenUptimeBlocks() {
    if (clock_.TickCount64() < 271000) {
      GTEST_SKIP() << "Windows started less than 271 s ago: the uptime rule blocks";
    }
  }

  const std::wstring sub_ =
      L"Software\\VELTRA\\NimbelloPolicyTest" + std::to_wstring(GetCurrentProcessId());
  MovedSettingsRegistry registry_{u"\\" + FromWide(sub_) + u"\\"};
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
  SkipWhenUptimeBlocks();
  Put(u"MemoryFree", 30);
  const uint64_t before = clock_.TickCount64();
  MainTimerTimer(state_, ports_);
  const uint64_t after = clock_.TickCount64();
  const auto expected = ExpectedStarts(30);
  EXPECT_EQ(Starts(expected.size()), expected);
  // The release time is the uptime in rounded seconds, taken during the tick.
  EXPECT_GE(state_.lastReleaseTime, static_cast<int32_t>(before / 1000));
  EXPECT_LE(state_.lastReleaseTime, static_cast<int32_t>(after / 1000) + 1);
}

TEST_F(ReleasePolicyTest, EveryTickReleasesWithPeriodZeroAndNoneWithinThePeriod) {
  SkipWhenUptimeBlocks();
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
  SkipWhenUptimeBlocks();
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
  SkipWhenUptimeBlocks();
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
// processor busy, a ProcessorTrigger of 0 holds the release back.
TEST_F(ReleasePolicyTest, BusyProcessorsHoldTheReleaseBackOnWindows10) {
  SkipWhenUptimeBlocks();
  Put(u"ProcessorTrigger", 0);
  Put(u"MemoryFree", 0);
  const wchar_t appDefaults[] = L"Software\\Wine\\AppDefaults\\BusyReleaseTick.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, appDefaults, L"Version", REG_SZ, L"win10",
                            sizeof(L"win10")),
            ERROR_SUCCESS);
  const int exitCode = wine_test::Run(L"\"" + wine_test::ProgramFolder() +
                                      L"BusyReleaseTick.exe\" " + sub_ + L" \"" + folder_.path() +
                                      L"\\\"");  // a backslash before the closing quote is doubled
  RegDeleteTreeW(HKEY_CURRENT_USER, appDefaults);
  EXPECT_EQ(exitCode, 10 - 1) << "Windows 10 has the version code -1";
  Sleep(1000);
  EXPECT_TRUE(wine_test::ReadLines(log_).empty()) << "no release while the processors are busy";
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
