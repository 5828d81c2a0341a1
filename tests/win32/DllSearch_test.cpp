// Libraries come from the system folder even when a file of the same name sits beside the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/WineTestSupport.h"

namespace {

TEST(SystemLibrary, APlantedLibraryBesideTheProgramIsNotTheOneLoaded) {
  const std::wstring bin = wine_test::ProgramFolder();
  wine_test::TempFolder folder;
  const std::wstring probe = folder.path() + L"DllSearchProbe.exe";
  ASSERT_TRUE(CopyFileW((bin + L"DllSearchProbe.exe").c_str(), probe.c_str(), FALSE));
  for (const wchar_t* name : {L"msimg32.dll", L"dbghelp.dll"}) {
    ASSERT_TRUE(
        CopyFileW((bin + L"PlantedLibrary.dll").c_str(), (folder.path() + name).c_str(), FALSE));
  }
  const auto run = [&](const wchar_t* how, const wchar_t* name) {
    return wine_test::Run(L"\"" + probe + L"\" " + how + L" " + name);
  };
  EXPECT_EQ(run(L"plain", L"msimg32.dll"), 1) << "the plant must be what a bare name finds";
  EXPECT_EQ(run(L"system", L"msimg32.dll"), 0);
  EXPECT_EQ(run(L"restricted", L"dbghelp.dll"), 0);
}

}  // namespace
