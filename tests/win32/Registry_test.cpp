// The settings store against the real registry: values written by the registry functions and by
// the reg tool, every type and size, a missing key, writes that create the path, a refused write,
// and a standard user's writes against the rights the installer leaves on its keys.
#include <windows.h>

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Registry.h"
#include "win32/support/WineTestSupport.h"

namespace {

// Each test program gets its own key, so the tests never touch the real settings. The store reads
// the 32-bit view; the test writes there too unless it says otherwise.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sub_ = L"Software\\VELTRA\\NimbelloTest" + std::to_wstring(GetCurrentProcessId());
    path_ = u"\\" + FromWide(sub_) + u"\\";
  }
  void TearDown() override {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), view, 0);
      HKEY parent = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\VELTRA", 0, KEY_ALL_ACCESS | view,
                        &parent) == ERROR_SUCCESS) {
        RegDeleteTreeW(parent, sub_.substr(sub_.rfind(L'\\') + 1).c_str());
        RegCloseKey(parent);
      }
    }
  }

  void Put(const wchar_t* name, DWORD type, const void* data, DWORD size,
           REGSAM view = KEY_WOW64_32KEY) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), 0, nullptr, 0, KEY_WRITE | view,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void PutText(const wchar_t* name, DWORD type, const std::wstring& text, bool nul = true) {
    Put(name, type, text.c_str(), static_cast<DWORD>((text.size() + (nul ? 1 : 0)) * 2));
  }
  std::vector<BYTE> Raw(const wchar_t* name, DWORD* type) {
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
      return {};
    }
    const LONG rc =
        RegGetValueW(key, nullptr, name, RRF_RT_ANY | RRF_NOEXPAND, type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
      return {};
    }
    data.resize(size);
    return data;
  }

  int32_t Int(const char16_t* name, int32_t fallback) {
    return store_.ReadSettingInteger(RegistryRoot::LocalMachine, path_, name, fallback);
  }
  std::u16string Text(const char16_t* name, const char16_t* fallback) {
    return store_.ReadSettingString(RegistryRoot::LocalMachine, path_, name, fallback);
  }
  bool Bool(const char16_t* name, bool fallback) {
    return store_.ReadSettingBool(RegistryRoot::LocalMachine, path_, name, fallback);
  }

  std::wstring sub_;
  std::u16string path_;
  Win32Registry registry_;
  CustomRegistry store_{registry_};
};

TEST_F(RegistryTest, MissingKeyGivesDefaultsAndWriteCreatesWholePath) {
  EXPECT_EQ(Int(u"MemoryFree", 40), 40);
  EXPECT_EQ(Text(u"Language", u"english"), u"english");
  EXPECT_TRUE(Bool(u"LoadNimbello", true));
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);

  store_.WriteSettingBool(RegistryRoot::LocalMachine, path_, u"FullScreen", true);
  DWORD type = 0;
  const auto data = Raw(L"FullScreen", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, (std::vector<BYTE>{1, 0, 0, 0}));

  store_.WriteSettingString(RegistryRoot::LocalMachine, path_, u"UpdatedDate", u"12/9/2026");
  const auto text = Raw(L"UpdatedDate", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(text.size(), 20u) << "(9 characters + NUL) x 2 bytes";
  EXPECT_EQ(Text(u"UpdatedDate", u"x"), u"12/9/2026");
}

TEST_F(RegistryTest, EveryTypeReadsAsTheStoreRulesSay) {
  const DWORD two = 2, minus_one = 0xFFFFFFFF;
  const unsigned long long qword = 50;
  const BYTE binary[4] = {50, 0, 0, 0};
  const BYTE odd[5] = {'f', 0, 'r', 0, 'x'};
  const std::wstring multi(L"french\0\0", 8);
  Put(L"Two", REG_DWORD, &two, 4);
  Put(L"MinusOne", REG_DWORD, &minus_one, 4);
  Put(L"Qword", REG_QWORD, &qword, 8);
  Put(L"Binary", REG_BINARY, binary, 4);
  Put(L"Odd", REG_SZ, odd, 5);
  Put(L"Multi", REG_MULTI_SZ, multi.c_str(), static_cast<DWORD>(multi.size() * 2));
  PutText(L"Digits", REG_SZ, L"50");
  PutText(L"Empty", REG_SZ, L"");
  PutText(L"Expand", REG_EXPAND_SZ, L"%SystemRoot%\\x");
  PutText(L"NoNul", REG_SZ, L"french", false);
  PutText(L"InnerNul", REG_SZ, std::wstring(L"fr\0ench", 7));
  const std::wstring megabyte(512 * 1024, L'x');
  PutText(L"Huge", REG_SZ, megabyte);

  EXPECT_EQ(Int(u"Two", 7), 2);
  EXPECT_TRUE(Bool(u"Two", false));
  EXPECT_EQ(Int(u"MinusOne", 7), -1);
  EXPECT_EQ(Int(u"Qword", 7), 7);
  EXPECT_EQ(Int(u"Binary", 7), 7);
  EXPECT_EQ(Int(u"Digits", 7), 7);
  EXPECT_EQ(Text(u"Two", u"d"), u"d");
  EXPECT_EQ(Text(u"Multi", u"d"), u"d");
  EXPECT_EQ(Text(u"Binary", u"d"), u"d");
  EXPECT_EQ(Text(u"Empty", u"d"), u"d");
  EXPECT_EQ(Text(u"Expand", u"d"), u"%SystemRoot%\\x");
  EXPECT_EQ(Text(u"NoNul", u"d"), u"french");
  EXPECT_EQ(Text(u"InnerNul", u"d"), u"fr");
  EXPECT_EQ(Text(u"Odd", u"d"), u"fr");
  EXPECT_EQ(Text(u"Huge", u"d").size(), megabyte.size());
}

TEST_F(RegistryTest, ValuesWrittenByTheRegToolReadBack) {
  const std::wstring key = L"HKLM\\" + sub_;
  struct Case {
    std::wstring args;
  };
  const std::wstring reg = L"reg.exe add \"" + key + L"\" /reg:32 /f /v ";
  ASSERT_EQ(wine_test::Run(reg + L"Period /t REG_DWORD /d 4294967295"), 0);
  ASSERT_EQ(wine_test::Run(reg + L"Flag /t REG_DWORD /d 2"), 0);
  ASSERT_EQ(wine_test::Run(reg + L"Lang /t REG_SZ /d french"), 0);
  ASSERT_EQ(wine_test::Run(reg + L"Number /t REG_SZ /d 50"), 0);
  ASSERT_EQ(wine_test::Run(reg + L"Big /t REG_QWORD /d 5"), 0);
  EXPECT_EQ(Int(u"Period", 5), -1);
  EXPECT_TRUE(Bool(u"Flag", false));
  EXPECT_EQ(Text(u"Lang", u"english"), u"french");
  EXPECT_EQ(Int(u"Number", 40), 40);
  EXPECT_EQ(Int(u"Big", 40), 40);
}

// One settings key for every build: the store reads and writes the 32-bit view, so what a 64-bit
// tool writes under the same name is not seen, and the store's own writes land in the 32-bit view.
TEST_F(RegistryTest, SettingsLiveInThe32BitView) {
  const DWORD ten = 10, twenty = 20;
  Put(L"MemoryFree", REG_DWORD, &ten, 4, KEY_WOW64_64KEY);
  EXPECT_EQ(Int(u"MemoryFree", 40), 40) << "a value in the 64-bit view only";
  Put(L"MemoryFree", REG_DWORD, &twenty, 4, KEY_WOW64_32KEY);
  EXPECT_EQ(Int(u"MemoryFree", 40), 20);

  store_.WriteSettingBool(RegistryRoot::LocalMachine, path_, u"FullScreen", true);
  for (const auto& [view, seen] : {std::pair{KEY_WOW64_32KEY, true}, {KEY_WOW64_64KEY, false}}) {
    HKEY key = nullptr;
    DWORD value = 0, size = sizeof value;
    const bool found = RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub_.c_str(), 0, KEY_READ | view, &key) ==
                           ERROR_SUCCESS &&
                       RegQueryValueExW(key, L"FullScreen", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    if (key != nullptr) {
      RegCloseKey(key);
    }
    EXPECT_EQ(found, seen) << "view " << view;
  }
}

TEST_F(RegistryTest, PathWithoutLeadingBackslashWorksToo) {
  store_.WriteSettingBool(RegistryRoot::LocalMachine, FromWide(sub_), u"A", true);
  EXPECT_TRUE(Bool(u"A", false));
}

TEST_F(RegistryTest, RefusedWriteLeavesTheValueAndReturns) {
  const DWORD zero = 0;
  Put(L"FullScreen", REG_DWORD, &zero, 4);
  // A value name longer than the registry allows is refused by RegSetValueExW.
  const std::u16string too_long(20000, u'n');
  store_.WriteSettingBool(RegistryRoot::LocalMachine, path_, too_long, true);
  EXPECT_EQ(Int(too_long.c_str(), 9), 9);
  // A key that cannot be created (a root the caller cannot write) changes nothing either.
  store_.WriteSettingBool(static_cast<RegistryRoot>(0x80000099u), path_, u"FullScreen", true);
  EXPECT_FALSE(Bool(u"FullScreen", true));
}

// Runs step on a thread that impersonates this process's token with Administrators deny-only: a
// standard user's view of every DACL (Wine enforces such a token on an impersonating thread only).
void AsStandardUser(const std::function<void()>& step) {
  std::thread([&] {
    HANDLE process = nullptr, restricted = nullptr, impersonation = nullptr;
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
    SID_AND_ATTRIBUTES deny{admins, 0};
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process));
    ASSERT_TRUE(CreateRestrictedToken(process, 0, 1, &deny, 0, nullptr, 0, nullptr, &restricted));
    ASSERT_TRUE(DuplicateToken(restricted, SecurityImpersonation, &impersonation));
    ASSERT_TRUE(SetThreadToken(nullptr, impersonation));
    BOOL admin = TRUE;
    EXPECT_TRUE(CheckTokenMembership(nullptr, admins, &admin) && !admin) << "still an admin";
    step();
    RevertToSelf();
    for (HANDLE h : {impersonation, restricted, process}) {
      CloseHandle(h);
    }
  }).join();
}

void SetKeyDacl(const std::wstring& sub, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, sub.c_str(), 0, WRITE_DAC | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
  RegCloseKey(key);
  LocalFree(sd);
}

// What the installer leaves on the settings key: its own Users entry (set values) before the ones
// inherited from HKLM\Software. Administrators and SYSTEM keep full control, which the restricted
// token cannot use, so the test puts nothing back.
constexpr wchar_t InstalledSddl[] =
    L"D:AI(A;;0x2;;;BU)(A;CIID;KR;;;BU)(A;CIID;KA;;;BA)(A;CIID;KA;;;SY)(A;CIIOID;GA;;;CO)";

TEST_F(RegistryTest, StandardUserWritesWhatTheInstalledRightsAllow) {
  struct Case {
    const wchar_t* sddl;
    bool lands;
  };
  // (Wine does not check the parent's DACL when a key is created, so the refusal a standard user
  // meets when LastRelease is missing cannot be shown here.)
  const Case cases[] = {
      // Only KEY_SET_VALUE is asked for: KEY_CREATE_SUB_KEY would refuse the whole open.
      {InstalledSddl, true},
      // Read rights only, as before the installer's grant: refused, and said so.
      {L"D:AI(A;CIID;KR;;;BU)(A;CIID;KA;;;BA)(A;CIID;KA;;;SY)", false},
      // A read asks for KEY_QUERY_VALUE alone.
      {L"D:AI(A;;0x1;;;BU)(A;CIID;KA;;;BA)(A;CIID;KA;;;SY)", false},
  };
  const DWORD seven = 7;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    Put(L"FullScreen", REG_DWORD, &seven, 4);
    SetKeyDacl(sub_, c.sddl);
    bool written = false;
    int32_t read_back = 0;
    AsStandardUser([&] {
      written = store_.TryWriteSettingBool(RegistryRoot::LocalMachine, path_, u"FullScreen", true);
      read_back = Int(u"FullScreen", -5);
    });
    SCOPED_TRACE(i);
    EXPECT_EQ(written, c.lands);
    EXPECT_EQ(read_back, c.lands ? 1 : 7) << "a read with Users' read rights";
  }
}

}  // namespace
