// Memory figures and the version code from the real system under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/RAM.h"
#include "foundation/WindowsVersion.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "win32/support/WineTestSupport.h"

namespace {

TEST(Win32SystemInfo, MemoryFiguresMatchTheSystem) {
  Win32SystemInfo system;
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  const int64_t total = GetTotalPhysicalMemory(system);
  const int64_t available = GetAvailablePhysicalMemory(system);
  EXPECT_EQ(total, static_cast<int64_t>(status.ullTotalPhys));
  EXPECT_GT(available, 0);
  EXPECT_LE(available, total);
}

TEST(Win32SystemInfo, PowerStatusIsReadable) {
  Win32SystemInfo system;
  const auto line = system.QueryACLineStatus();
  ASSERT_TRUE(line.has_value());
  EXPECT_TRUE(*line == 0 || *line == 1 || *line == 255) << +*line;
}

// Wine reports a chosen Windows version per program (AppDefaults), so a probe program is run once
// per version and prints its code as its exit code (+10, to keep it positive).
TEST(Win32SystemInfo, VersionCodeForEachReportedWindows) {
  struct Case {
    const wchar_t* wine_version;
    int code;
  };
  const Case cases[] = {{L"win2003", 2}, {L"winxp64", 2},   {L"vista", 3}, {L"win2008", 4},
                        {L"win7", 5},    {L"win2008r2", 5}, {L"win8", -1}, {L"win10", -1}};
  const std::wstring key = L"Software\\Wine\\AppDefaults\\VersionProbe.exe";
  for (const auto& c : cases) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.wine_version),
                   static_cast<DWORD>((wcslen(c.wine_version) + 1) * 2));
    RegCloseKey(k);
    const int exit_code =
        wine_test::Run(L"\"" + wine_test::ProgramFolder() + L"VersionProbe.exe\"");
    EXPECT_EQ(exit_code - 10, c.code) << wine_test::Utf8(c.wine_version);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace
