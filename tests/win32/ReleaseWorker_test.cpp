// The real release worker NimbelloDefrag.exe, the x86_64 build that 64-bit Windows runs (this
// tree's, whose window is a few seconds): junk ends at once, a request ends within its deadline
// and its window without a window of its own and leaves LastRelease and its history behind, and
// one worker waits for the turn while the others hand their megabytes on. The shipped 32-bit
// worker under WOW64 does nothing. Trimming does nothing under Wine, so these check the control
// flow and the plumbing of the figures, not the memory.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>
#include <string>

#include "foundation/Constants.h"
#include "foundation/base/win32/WideText.h"
#include "win32/support/WineTestSupport.h"
#include "worker/ReleaseExitCode.h"
#include "worker/ReleaseWorker.h"
#include "worker/win32/Win32ProcessSnapshot.h"
#include "worker/win32/Win32WorkerSession.h"

namespace {

using namespace std::chrono_literals;
using Constants::MeasureWindowSeconds;

const wchar_t* const LastReleasePath = L"Software\\VELTRA\\Nimbello\\LastRelease";

struct Finished {
  int exitCode = -1;  // -1: still running at the bound (then ended)
  bool sawWindow = false;
  std::chrono::milliseconds elapsed{};
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<std::pair<DWORD, bool>*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  search->second = search->second || pid == search->first;
  return TRUE;
}

bool HasWindow(DWORD pid) {
  std::pair<DWORD, bool> search{pid, false};
  EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

class ReleaseWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, LastReleasePath, KEY_WOW64_32KEY, 0);
    worker_ = wine_test::ProgramFolder() + Wide(Constants::ReleaseWorkerFile);
  }

  PROCESS_INFORMATION Start(const std::wstring& arguments) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + worker_ + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    // Seen once in a full run under load: Wine's CreateProcessW failing before the worker ran a
    // line. That is the launch, not the worker under test, so it is said and tried once more.
    bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &si, &pi) != FALSE;
    if (!started) {
      std::printf("note: CreateProcessW failed with %lu; starting once more\n", GetLastError());
      Sleep(200);
      started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi) != FALSE;
    }
    EXPECT_TRUE(started) << wine_test::Utf8(command) << " error " << GetLastError();
    CloseHandle(pi.hThread);
    return pi;
  }

  // Waits at most `limit`, looking for windows of the worker all the while.
  static Finished Wait(const PROCESS_INFORMATION& pi, std::chrono::milliseconds limit) {
    Finished f;
    const auto start = std::chrono::steady_clock::now();
    while (WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT) {
      f.sawWindow = f.sawWindow || HasWindow(pi.dwProcessId);
      if (std::chrono::steady_clock::now() - start > limit) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        return f;
      }
    }
    f.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    f.exitCode = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    return f;
  }

  // A LastRelease value, read in the 32-bit view where the shipped programs keep their settings.
  static std::optional<uint64_t> Recorded(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, LastReleasePath, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    uint64_t value = 0;
    DWORD size = sizeof(value), type = REG_NONE;
    const LONG rc =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || !(type == REG_DWORD || type == REG_QWORD)) {
      return std::nullopt;
    }
    return value;
  }

  static std::vector<BYTE> RecordedBytes(const wchar_t* name) {
    std::vector<BYTE> bytes(64 * 36);
    DWORD size = static_cast<DWORD>(bytes.size()), type = REG_NONE;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, LastReleasePath, name,
                     RRF_RT_REG_BINARY | 0x00020000 /* RRF_SUBKEY_WOW6432KEY */, &type,
                     bytes.data(), &size) != ERROR_SUCCESS) {
      return {};
    }
    bytes.resize(size);
    return bytes;
  }

  static uint64_t UtcNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
  }

  std::wstring worker_;
};

// The snapshot's record layout: this process as the kernel lists it, with the figures it also
// reports through the documented calls.
TEST(ProcessSnapshot, ListsThisProcessAsItsOwnCallsReportIt) {
  Win32ProcessSnapshot snapshot;
  const auto records = snapshot.TakeSnapshot();
  ASSERT_TRUE(records);
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto self = std::find_if(records->begin(), records->end(), [](const ProcessRecord& p) {
    return p.id == GetCurrentProcessId();
  });
  ASSERT_NE(self, records->end());
  EXPECT_EQ(self->name, u"win32_ReleaseWorker_test.exe");
  EXPECT_EQ(self->creationTime, int64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime);
  EXPECT_GT(self->workingSet, 1u << 20);
  EXPECT_GT(records->size(), 3u);
}

constexpr int Code(ReleaseExitCode code) {
  return static_cast<int>(code);
}

TEST_F(ReleaseWorkerTest, JunkEndsAtOnceDoingNothing) {
  for (const wchar_t* junk : {L"", L"abc", L"0", L"-5", L"1 2", L"2147483648", L"1e3", L"\"\""}) {
    const Finished f = Wait(Start(junk), 3s);
    EXPECT_EQ(f.exitCode, Code(ReleaseExitCode::NothingToDo)) << wine_test::Utf8(junk);
    EXPECT_FALSE(f.sawWindow);
  }
  EXPECT_FALSE(Recorded(L"Requested"));
}

TEST_F(ReleaseWorkerTest, RequestEndsWithinDeadlineWithoutWindowAndRecords) {
  // The window search must be able to find one: this test's own window.
  const HWND own =
      CreateWindowExW(0, L"STATIC", L"probe", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(own, nullptr);
  EXPECT_TRUE(HasWindow(GetCurrentProcessId()));
  DestroyWindow(own);

  // One earlier measured release in the history: the run adds its own after it.
  const uint64_t before = UtcNow();
  BYTE earlier[36] = {};
  const uint64_t earlierTime = before - 600'000'000;
  std::memcpy(earlier, &earlierTime, 8);
  for (const int at : {8, 12, 36 - 4}) {  // Requested, Freed, Window
    earlier[at] = 1;
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, LastReleasePath, 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"History", 0, REG_BINARY, earlier, sizeof earlier);
  RegCloseKey(key);

  const Finished f = Wait(Start(L"1024"), std::chrono::milliseconds(WorkDeadlineMilliseconds) +
                                              std::chrono::seconds(MeasureWindowSeconds) + 4s);
  EXPECT_TRUE(f.exitCode == Code(ReleaseExitCode::Reached) ||
              f.exitCode == Code(ReleaseExitCode::Partial))
      << f.exitCode;
  EXPECT_FALSE(f.sawWindow);
  std::printf("1024 MB: %lld ms, exit %d, freed %llu MB\n",
              static_cast<long long>(f.elapsed.count()), f.exitCode,
              static_cast<unsigned long long>(Recorded(L"Freed").value_or(0)));
  EXPECT_EQ(Recorded(L"Requested"), 1024u);
  EXPECT_TRUE(Recorded(L"Freed"));
  EXPECT_LE(Recorded(L"Milliseconds").value_or(UINT64_MAX),
            static_cast<uint64_t>(f.elapsed.count()) + 100);
  const uint64_t time = Recorded(L"Time").value_or(0);
  EXPECT_TRUE(time >= before && time <= UtcNow()) << time;
  // Every measured value is there; Wine's trims free nothing, so Dropped may well be 0. The
  // window ran to its end: nothing else released meanwhile.
  for (const wchar_t* name :
       {L"AvailableBefore", L"AvailableAfter", L"Dropped", L"Regrown", L"Faults", L"HardFaults"}) {
    EXPECT_TRUE(Recorded(name)) << wine_test::Utf8(name);
  }
  EXPECT_GT(Recorded(L"AvailableBefore").value_or(0), 0u);
  EXPECT_LE(Recorded(L"Regrown").value_or(1), Recorded(L"Dropped").value_or(0));
  EXPECT_EQ(Recorded(L"Window"), MeasureWindowSeconds);
  EXPECT_GE(static_cast<uint64_t>(f.elapsed.count()), MeasureWindowSeconds * 1000u);
  BYTE history[3 * sizeof earlier] = {};
  DWORD size = sizeof history;
  RegGetValueW(HKEY_LOCAL_MACHINE, LastReleasePath, L"History",
               RRF_RT_REG_BINARY | 0x00020000 /* RRF_SUBKEY_WOW6432KEY */, nullptr, history, &size);
  ASSERT_EQ(size, 2 * sizeof earlier);
  EXPECT_EQ(std::memcmp(history, earlier, sizeof earlier), 0);
  uint64_t latest = 0;
  std::memcpy(&latest, history + sizeof earlier, 8);
  EXPECT_EQ(latest, time);
}

// The shipped 32-bit worker on this 64-bit prefix, as on 64-bit Windows: it ends at once with
// its own code and leaves no record behind to start a cool-down.
TEST_F(ReleaseWorkerTest, ShippedThirtyTwoBitWorkerUnderWow64DoesNothing) {
  worker_ = wine_test::ShippedProgram(Wide(Constants::ReleaseWorkerFile));
  if (worker_ == wine_test::ProgramFolder() + Wide(Constants::ReleaseWorkerFile) ||
      wine_test::Run(L"\"" + worker_ + L"\" probe", 10s) == -1) {
    GTEST_SKIP() << "no 32-bit worker runs here";
  }
  const Finished f = Wait(Start(L"1024"), 5s);
  EXPECT_EQ(f.exitCode, Code(ReleaseExitCode::WrongBitness));
  EXPECT_FALSE(Recorded(L"Requested"));
  EXPECT_FALSE(Recorded(L"Time"));
}

// This tree's own worker, the x86_64 one in the x86_64 tree: what 64-bit Windows runs. It reads
// the 64-bit records and trims the prefix's idle processes (Wine's trim calls succeed and free
// nothing, so every planned process is tried) and counts the outcomes.
TEST_F(ReleaseWorkerTest, NativeWorkerTrimsIdleProcessesAndRecordsTheOutcomes) {
  const Finished f = Wait(Start(L"1024"), std::chrono::milliseconds(WorkDeadlineMilliseconds) +
                                              std::chrono::seconds(MeasureWindowSeconds) + 4s);
  EXPECT_TRUE(f.exitCode == Code(ReleaseExitCode::Reached) ||
              f.exitCode == Code(ReleaseExitCode::Partial))
      << f.exitCode;
  std::printf("%s: trimmed %llu, refused %llu\n", wine_test::Utf8(worker_).c_str(),
              static_cast<unsigned long long>(Recorded(L"Trimmed").value_or(0)),
              static_cast<unsigned long long>(Recorded(L"Refused").value_or(0)));
  EXPECT_GE(Recorded(L"Trimmed").value_or(0), 1u);
  EXPECT_TRUE(Recorded(L"Refused"));
}

// The service's worker asks a worker started in the console session as its user which process is
// in front (Wine's console session is this one, its user token this process's, and the desktop
// the tests' virtual one rather than Windows' "default").
TEST_F(ReleaseWorkerTest, ConsoleSessionNamesTheForegroundProcess) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION front{};
  std::wstring command =
      L"\"" + wine_test::ProgramFolder() + L"ForegroundWindow.exe\" NbFront 0 0 60 60";
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &front));
  HWND window = nullptr;
  for (int i = 0; i < 100 && (window == nullptr || GetForegroundWindow() != window); ++i) {
    Sleep(50);
    window = FindWindowW(L"NbFront", nullptr);
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(SessionForegroundProcessId(), front.dwProcessId);
  const std::wstring worker = wine_test::ProgramFolder() + Wide(Constants::ReleaseWorkerFile);
  wchar_t desktop[256] = L"";
  GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop,
                            sizeof desktop, nullptr);
  EXPECT_EQ(ConsoleForegroundProcessId(worker, std::wstring(L"winsta0\\") + desktop),
            front.dwProcessId);
  PostMessageW(window, WM_CLOSE, 0, 0);
  WaitForSingleObject(front.hProcess, 5000);
  CloseHandle(front.hProcess);
  CloseHandle(front.hThread);
}

TEST_F(ReleaseWorkerTest, OneWaitsPastSquattersAndTheOthersHandOn) {
  // A user's objects under the turn's names (no administrator as owner) are passed by: the turn
  // moves to the next name, where this test holds the working place as a worker would.
  const std::wstring name = Wide(Constants::ReleaseWorkerMutex);
  const HANDLE squatted = CreateMutexW(nullptr, TRUE, name.c_str());
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, (name + L".Waiting").c_str());
  PSECURITY_DESCRIPTOR administrators = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &administrators, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), administrators, FALSE};
  const HANDLE working = CreateMutexW(&attributes, TRUE, (name + L".1").c_str());
  ASSERT_TRUE(squatted && event && working);

  const PROCESS_INFORMATION waiting = Start(L"512");
  EXPECT_EQ(WaitForSingleObject(waiting.hProcess, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
  for (const wchar_t* more : {L"256", L"128"}) {
    EXPECT_EQ(Wait(Start(more), 5s).exitCode, Code(ReleaseExitCode::HandedOn)) << more;
  }
  EXPECT_FALSE(Recorded(L"Requested"));
  ReleaseMutex(working);
  const Finished f = Wait(waiting, std::chrono::milliseconds(WorkDeadlineMilliseconds) +
                                       std::chrono::seconds(MeasureWindowSeconds) + 4s);
  EXPECT_TRUE(f.exitCode == Code(ReleaseExitCode::Reached) ||
              f.exitCode == Code(ReleaseExitCode::Partial))
      << f.exitCode;
  EXPECT_EQ(Recorded(L"Requested"), 512u + 256u + 128u);
  for (const HANDLE h : {squatted, event, working}) {
    CloseHandle(h);
  }
  LocalFree(administrators);
}

}  // namespace
