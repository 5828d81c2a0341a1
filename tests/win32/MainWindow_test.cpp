// Nimbello.exe, the shipped build, driven through its real controls under Wine: the stored values
// come up, Apply writes exactly the changed values with their types, Cancel writes nothing, a
// second start ends, WM_CLOSE closes it. With NIMBELLO_MAINWINDOW_BENCH set it also prints the
// time to the first paint and the idle cost.
#include <windows.h>
// Needs the types of windows.h.
#include <gtest/gtest.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mainwindow/win32/MainFormIds.h"
#include "win32/support/WineTestSupport.h"

namespace {

constexpr wchar_t SettingsParent[] = L"Software\\VELTRA";
constexpr wchar_t SettingsKey[] = L"Software\\VELTRA\\Nimbello";
constexpr auto Bound = std::chrono::seconds(20);

// The settings key's values, in the 32-bit view the programs use: name, type, bytes.
using Snapshot = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;

Snapshot ReadSettings() {
  Snapshot values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    return values;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    BYTE data[1024];
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
      break;
    }
    values[name] = {type, std::vector<BYTE>(data, data + size)};
  }
  RegCloseKey(key);
  return values;
}

void ResetSettings(const std::map<std::wstring, DWORD>& dwords) {
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsParent, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    &parent) == ERROR_SUCCESS) {
    RegDeleteTreeW(parent, L"Nimbello");
    RegCloseKey(parent);
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, SettingsKey, 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : dwords) {
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  }
  RegCloseKey(key);
}

std::pair<DWORD, std::vector<BYTE>> Dword(DWORD v) {
  const auto* b = reinterpret_cast<const BYTE*>(&v);
  return {REG_DWORD, {b, b + 4}};
}

std::pair<DWORD, std::vector<BYTE>> Sz(const std::wstring& text) {
  const auto* b = reinterpret_cast<const BYTE*>(text.c_str());
  return {REG_SZ, {b, b + (text.size() + 1) * 2}};
}

// The shipped 32-bit build when the run names it (a Unix path), else this tree's own.
std::wstring ProgramPath(const wchar_t* file = L"Nimbello.exe") {
  const char* shipped = std::getenv("NIMBELLO_SHIPPED_BIN");
  std::wstring folder = wine_test::ProgramFolder();
  if (shipped != nullptr && *shipped != '\0') {
    folder = L"Z:";
    for (const char* c = shipped; *c; ++c) {
      folder.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    }
    folder += L"\\";
  }
  return folder + file;
}

template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = Bound) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

HWND FindMainForm() {
  return FindWindowW(L"TNBMainForm", nullptr);
}

// One running Nimbello.exe; ended at the end of the test whatever happened.
struct Program {
  PROCESS_INFORMATION pi{};
  HWND window = nullptr;

  explicit Program(const wchar_t* file = L"Nimbello.exe") {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring cmd = L"\"" + ProgramPath(file) + L"\"";
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
      // Shown once its controls hold the values.
      WaitFor([&] {
        if (std::wstring_view(file) != L"Nimbello.exe") {
          return true;
        }
        window = FindMainForm();
        return window != nullptr && IsWindowVisible(window);
      });
    }
  }
  ~Program() {
    if (pi.hProcess != nullptr) {
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
      }
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  bool Ended(std::chrono::milliseconds limit = Bound) const {
    return WaitForSingleObject(pi.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
  }
  HWND Item(int id) const { return GetDlgItem(window, id); }
  LRESULT Send(HWND to, UINT message, WPARAM w = 0, LPARAM l = 0) const {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(to, message, w, l, SMTO_ABORTIFHUNG, 10000, &result);
    return static_cast<LRESULT>(result);
  }
  std::wstring Text(int id) const {
    wchar_t text[256] = {};
    Send(Item(id), WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return text;
  }
  void Type(int id, const wchar_t* text) const {
    Send(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  void Click(int id) const { Send(Item(id), BM_CLICK); }
  bool Checked(int id) const { return Send(Item(id), BM_GETCHECK) == BST_CHECKED; }
  void Select(int id, int index) const {
    Send(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index));
    Send(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
  }
};

// Other tests of the session share the settings key: leave none of these values behind.
class MainWindow : public ::testing::Test {
 protected:
  void TearDown() override { ResetSettings({}); }
};

// The release worker's record of its last release.
void PutLastRelease(DWORD requested, DWORD freed, DWORD milliseconds, ULONGLONG time) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\VELTRA\\Nimbello\\LastRelease", 0,
                            nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : {std::pair{L"Requested", requested},
                                    {L"Freed", freed},
                                    {L"Milliseconds", milliseconds},
                                    {L"Trimmed", DWORD{7}},
                                    {L"Refused", DWORD{2}}}) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  }
  RegSetValueExW(key, L"Time", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&time), 8);
  RegCloseKey(key);
}

TEST_F(MainWindow, ShowsStoredValuesAndApplyWritesExactlyTheChanges) {
  ResetSettings({{L"MemoryFree", 45}, {L"ExecutePeriod", 12}, {L"BatteryCheck", 1}});
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  PutLastRelease(1229, 800, 950,
                 (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  Program program;
  ASSERT_NE(program.window, nullptr) << wine_test::Utf8(ProgramPath());
  EXPECT_EQ(program.Text(IDC_FREEEDIT), L"45");
  EXPECT_EQ(program.Text(IDC_PERIODEDIT), L"12");
  EXPECT_EQ(program.Text(IDC_TRIGGEREDIT), L"85");  // a default
  EXPECT_TRUE(program.Checked(IDC_BATTERYCHECK));
  EXPECT_TRUE(program.Checked(IDC_TRAYICONCHECK));
  EXPECT_FALSE(IsWindowEnabled(program.Item(IDC_APPLY)));
  EXPECT_NE(program.Text(IDC_LASTRELEASEVALUE)
                .find(L": 800 of 1229 MB freed in 950 ms, 7 trimmed, 2 refused"),
            std::wstring::npos)
      << wine_test::Utf8(program.Text(IDC_LASTRELEASEVALUE));
  EXPECT_TRUE(program.Text(IDC_LASTRELEASEVALUE).ends_with(L"; not measured yet"));
  // The prefix is 64-bit: the shipped 32-bit build's worker beside the program is i686 and named
  // in the status; the x86_64 build's is not.
  const char* shipped = std::getenv("NIMBELLO_SHIPPED_BIN");
  EXPECT_EQ(program.Text(IDC_WORKERVALUE),
            shipped != nullptr && *shipped != '\0'
                ? L"The release worker is 32-bit; this Windows needs the 64-bit one."
                : L"Spared: none");
  const Snapshot before = ReadSettings();

  program.Type(IDC_MAINTAINEDIT, L"25");
  program.Type(IDC_PERIODEDIT, L"15");
  program.Click(IDC_TRAYICONCHECK);
  program.Click(IDC_BATTERYCHECK);
  program.Select(IDC_LANGUAGECOMBO, 1);
  EXPECT_TRUE(IsWindowEnabled(program.Item(IDC_APPLY)));
  program.Click(IDC_APPLY);

  Snapshot expected = before;
  expected[L"MemoryMaintain"] = Dword(25);
  expected[L"ExecutePeriod"] = Dword(15);
  expected[L"LoadTrayIcon"] = Dword(0);
  expected[L"BatteryCheck"] = Dword(0);
  expected[L"Language"] = Sz(L"french");
  EXPECT_EQ(ReadSettings(), expected);
  EXPECT_FALSE(IsWindowEnabled(program.Item(IDC_APPLY)));
  // The new language's captions, at once.
  EXPECT_EQ(program.Text(IDCANCEL), L"Annuler");

  // A value out of range is refused with a message, before anything is written.
  program.Type(IDC_PERIODEDIT, L"0");
  PostMessageW(program.window, WM_COMMAND, IDC_APPLY, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindWindowW(L"#32770", L"Nimbello")) != nullptr; }));
  EXPECT_EQ(ReadSettings(), expected);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));

  // Cancel discards the changes and closes.
  program.Type(IDC_FREEEDIT, L"50");
  program.Click(IDCANCEL);
  EXPECT_TRUE(program.Ended());
  EXPECT_EQ(ReadSettings(), expected);
}

TEST_F(MainWindow, SecondStartEndsAndWmCloseClosesTheFirst) {
  ResetSettings({});
  Program first;
  ASSERT_NE(first.window, nullptr);
  EXPECT_EQ(first.Text(IDC_LASTRELEASEVALUE), L"No release yet");
  {
    Program second;
    EXPECT_TRUE(second.Ended());
    DWORD code = 1;
    GetExitCodeProcess(second.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
  }
  EXPECT_EQ(FindMainForm(), first.window);
  EXPECT_FALSE(first.Ended(std::chrono::milliseconds(0)));
  // What the applet's Exit sends.
  first.Send(first.window, WM_CLOSE);
  EXPECT_TRUE(first.Ended());
  EXPECT_TRUE(ReadSettings().empty());
}

// The applet's "Open Nimbello" starts the main window and its Exit closes it with the applet.
TEST_F(MainWindow, AppletOpensAndExitCloses) {
  ResetSettings({});
  Program applet(L"NimbelloTray.exe");
  HWND tray = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (tray = FindWindowW(L"TNBTrayForm", nullptr)) != nullptr; }));
  // The menu's commands in display order from 1: Open first, Exit last.
  PostMessageW(tray, WM_COMMAND, 1, 0);
  ASSERT_TRUE(WaitFor([] { return FindMainForm() != nullptr && IsWindowVisible(FindMainForm()); }));
  PostMessageW(tray, WM_COMMAND, 6, 0);
  EXPECT_TRUE(WaitFor([] { return FindMainForm() == nullptr; }));
  EXPECT_TRUE(applet.Ended());
}

// Start to first paint, then the processor time and working set of ten idle seconds, of a program
// whose window of that class is visible once it is painted. Printed as "mainwindow: what = value".
void MeasureStart(const char* label, const std::wstring& path, const wchar_t* windowClass) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + path + L"\"";
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << label;
  HWND window = nullptr;
  const bool shown = WaitFor([&] {
    window = FindWindowW(windowClass, nullptr);
    return window != nullptr && IsWindowVisible(window);
  });
  const double firstPaint =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(shown) << label;
  const auto ticks = [](FILETIME f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  };
  FILETIME created, ended, kernel0, user0, kernel1, user1;
  GetProcessTimes(pi.hProcess, &created, &ended, &kernel0, &user0);
  std::this_thread::sleep_for(std::chrono::seconds(10));
  GetProcessTimes(pi.hProcess, &created, &ended, &kernel1, &user1);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(pi.hProcess, &counters, sizeof(counters));
  std::printf("mainwindow: %s start to first paint = %.1f ms\n", label, firstPaint);
  std::printf(
      "mainwindow: %s processor time, 10 s idle = %.1f ms (%.1f ms since start)\n", label,
      static_cast<double>(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e4,
      static_cast<double>(ticks(kernel1) + ticks(user1)) / 1e4);
  std::printf("mainwindow: %s working set, idle = %.1f MB\n", label,
              static_cast<double>(counters.WorkingSetSize) / 1048576.0);
  if (window != nullptr) {
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, nullptr);
  }
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0) << label;
  TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

// The shipped main window, the same program of this tree's bitness, and a bare window program of
// that bitness started the same way: what the main window costs beyond any window.
TEST_F(MainWindow, Benchmark) {
  if (std::getenv("NIMBELLO_MAINWINDOW_BENCH") == nullptr) {
    GTEST_SKIP() << "set NIMBELLO_MAINWINDOW_BENCH to measure";
  }
  MeasureStart("Nimbello.exe (shipped)", ProgramPath(), L"TNBMainForm");
  MeasureStart("Nimbello.exe (this tree)", wine_test::ProgramFolder() + L"Nimbello.exe",
               L"TNBMainForm");
  MeasureStart("bare window (this tree)", wine_test::ProgramFolder() + L"BareWindow.exe",
               L"NimbelloBareWindow");
  // What Wine's process start and exit alone cost: a second start finds the window and ends.
  Program program;
  ASSERT_NE(program.window, nullptr);
  const auto secondStart = std::chrono::steady_clock::now();
  {
    Program second;
    EXPECT_TRUE(second.Ended());
  }
  std::printf(
      "mainwindow: Nimbello.exe (shipped) second start to its end = %.1f ms\n",
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - secondStart)
          .count());
  program.Send(program.window, WM_CLOSE);
  EXPECT_TRUE(program.Ended());
}

}  // namespace
