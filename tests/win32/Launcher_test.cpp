// Release requests that really start a stand-in release worker through ShellExecuteExW.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "foundation/CustomRegistry.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/Shell.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "win32/support/RealPorts.h"
#include "win32/support/WineTestSupport.h"

namespace {

using namespace std::chrono_literals;

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = folder_.path() + L"worker.log";
    SetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", log_.c_str());
  }
  void Install(const wchar_t* companion) {
    ASSERT_TRUE(CopyFileW((wine_test::ProgramFolder() + L"StandInWorker.exe").c_str(),
                          (folder_.path() + companion).c_str(), FALSE));
  }
  void InstallWorker() { Install(L"NimbelloDefrag.exe"); }
  std::vector<std::string> Starts(size_t expected) {
    auto lines = wine_test::WaitForLines(log_, expected, 20s);
    // Wine does not always run quickly started programs in launch order.
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  wine_test::TempFolder folder_;
  std::wstring log_;
  wine_test::FolderLauncher launcher_{folder_.path()};
};

TEST_F(LauncherTest, ProgramFolderIsTheExecutablesFolderWithDelimiter) {
  Win32Launcher launcher;
  EXPECT_EQ(launcher.ProgramFolder(), FromWide(wine_test::ProgramFolder()));
}

TEST_F(LauncherTest, RequestStartsOneWorkerPerChunk) {
  InstallWorker();
  RequestMemoryRelease(launcher_, 2458);
  const auto starts = Starts(3);
  EXPECT_EQ(starts, (std::vector<std::string>{"NimbelloDefrag.exe 1024", "NimbelloDefrag.exe 1024",
                                              "NimbelloDefrag.exe 410"}));
}

TEST_F(LauncherTest, ZeroAndNegativeAmountsStartOnce) {
  InstallWorker();
  RequestMemoryRelease(launcher_, 0);
  RequestMemoryRelease(launcher_, -3);
  EXPECT_EQ(Starts(2), (std::vector<std::string>{"NimbelloDefrag.exe -3", "NimbelloDefrag.exe 0"}));
}

TEST_F(LauncherTest, MissingCompanionsStartNothing) {
  // The same requests and the same look at the log, without and then with the companions: the
  // second round shows that a start in this set-up does reach the log.
  const std::vector<std::string> expected[] = {
      {},
      {"NimbelloDefrag.exe 1024", "NimbelloDefrag.exe 1024", "NimbelloUpdate.exe "},
  };
  for (const auto& want : expected) {
    if (!want.empty()) {
      InstallWorker();
      Install(L"NimbelloUpdate.exe");
    }
    RequestMemoryRelease(launcher_, 2048);
    OpenWithShellUnowned(launcher_, ProgramFile(launcher_, u"NimbelloUpdate.exe"));
    // Waits out a start that comes (about 0.1 s each under Wine) when none is expected.
    auto lines = wine_test::WaitForLines(log_, std::max<size_t>(want.size(), 1), 3s);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, want);
  }
}

TEST_F(LauncherTest, UnownedStartRunsTheCompanion) {
  ASSERT_TRUE(CopyFileW((wine_test::ProgramFolder() + L"StandInWorker.exe").c_str(),
                        (folder_.path() + L"NimbelloUpdate.exe").c_str(), FALSE));
  OpenWithShellUnowned(launcher_, ProgramFile(launcher_, u"NimbelloUpdate.exe"));
  EXPECT_EQ(Starts(1), (std::vector<std::string>{"NimbelloUpdate.exe "}));
}

TEST_F(LauncherTest, FreeMemoryNowOnTheRealMachine) {
  InstallWorker();
  Win32Registry registry;
  Win32SystemInfo system;
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  MemoryFreeNow(CustomRegistry(registry), system, launcher_);
  // With the default setting the amount is 60 % (or 40 % below 1536 MB) of the total.
  const double megabytes = static_cast<double>(status.ullTotalPhys) / 1048576.0;
  const double share = megabytes >= 1535.5 ? 0.6 : 0.4;
  const long expected_total = std::lround(megabytes * share);
  const size_t chunks = static_cast<size_t>((expected_total + 1023) / 1024);
  const auto starts = Starts(chunks);
  ASSERT_EQ(starts.size(), chunks);
  long sum = 0;
  for (const auto& s : starts) {
    sum += std::stol(s.substr(s.find(' ') + 1));
  }
  EXPECT_NEAR(sum, expected_total, 1);
}

TEST_F(LauncherTest, HelpWithoutHelpFileReturns) {
  // The help control is loaded on first use, and a missing help file ends the call at once.
  ASSERT_EQ(GetModuleHandleW(L"hhctrl.ocx"), nullptr);
  const auto start = std::chrono::steady_clock::now();
  ShowHelpTopic(launcher_, u"Nimbello.chm", u"/html/main.htm");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_NE(GetModuleHandleW(L"hhctrl.ocx"), nullptr) << "HtmlHelpW was never reached";
}

}  // namespace
