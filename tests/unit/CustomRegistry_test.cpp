#include "foundation/CustomRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/Constants.h"
#include "foundation/SettingsTable.h"
#include "tests/fakes/FakeRegistry.h"

namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) {
    out.push_back(static_cast<std::byte>(v));
  }
  return out;
}

std::vector<std::byte> Utf16(std::u16string_view text, bool nul = true) {
  std::vector<std::byte> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::byte>(c & 0xFF));
    out.push_back(static_cast<std::byte>(c >> 8));
  }
  if (nul) {
    out.push_back(std::byte{0});
    out.push_back(std::byte{0});
  }
  return out;
}

struct IntegerCase {
  const char* what;
  bool present;
  uint32_t type;
  std::vector<std::byte> data;
  int32_t expected;  // with the default 77
};

TEST(CustomRegistryIntegerRead, EveryTypeAndSize) {
  const std::vector<IntegerCase> cases = {
      {"missing", false, 0, {}, 77},
      {"dword 50", true, RegType::Dword, Bytes({50, 0, 0, 0}), 50},
      {"dword 0xFFFFFFFF is -1", true, RegType::Dword, Bytes({255, 255, 255, 255}), -1},
      {"dword 0", true, RegType::Dword, Bytes({0, 0, 0, 0}), 0},
      {"dword of 2 bytes fits", true, RegType::Dword, Bytes({7, 1}), 263},
      {"dword of 5 bytes does not fit", true, RegType::Dword, Bytes({1, 0, 0, 0, 0}), 77},
      {"dword of 1 MB", true, RegType::Dword, std::vector<std::byte>(1 << 20), 77},
      {"sz holding digits", true, RegType::Sz, Utf16(u"50"), 77},
      {"qword", true, RegType::Qword, Bytes({5, 0, 0, 0, 0, 0, 0, 0}), 77},
      {"binary of 4 bytes", true, RegType::Binary, Bytes({5, 0, 0, 0}), 77},
      {"multi sz", true, RegType::MultiSz, Utf16(u"5\0", true), 77},
      {"none type", true, RegType::None, Bytes({5, 0, 0, 0}), 77},
  };
  for (const auto& c : cases) {
    FakeRegistry reg;
    if (c.present) {
      reg.PutRaw(u"MemoryFree", c.type, c.data);
    }
    CustomRegistry settings(reg);
    EXPECT_EQ(settings.ReadSettingInteger(u"MemoryFree", 77), c.expected) << c.what;
  }
}

TEST(CustomRegistryQwordRead, SameTypeAndSizeRulesAsIntegers) {
  struct Case {
    const char* what;
    uint32_t type;
    std::vector<std::byte> data;
    int64_t expected;  // with the default 77
  };
  const std::vector<Case> cases = {
      {"qword", RegType::Qword, Bytes({1, 2, 3, 4, 5, 6, 7, 0x80}),
       static_cast<int64_t>(0x8007060504030201ull)},
      {"qword of 2 bytes fits", RegType::Qword, Bytes({7, 1}), 263},
      {"qword of 9 bytes does not fit", RegType::Qword, Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0}), 77},
      {"dword", RegType::Dword, Bytes({5, 0, 0, 0}), 77},
      {"binary of 8 bytes", RegType::Binary, Bytes({5, 0, 0, 0, 0, 0, 0, 0}), 77},
  };
  for (const auto& c : cases) {
    FakeRegistry reg;
    reg.PutRaw(u"UpdatedDate", c.type, c.data);
    const CustomRegistry settings(reg);
    EXPECT_EQ(settings.ReadSettingQword(Constants::SettingsRoot, Constants::SettingsKey,
                                        u"UpdatedDate", 77),
              c.expected)
        << c.what;
  }
  FakeRegistry reg;
  const CustomRegistry settings(reg);
  ASSERT_TRUE(settings.TryWriteSettingQword(Constants::SettingsRoot, Constants::SettingsKey,
                                            u"UpdatedDate", 0x0102030405060708ull));
  EXPECT_EQ(reg.Find(u"UpdatedDate")->data, Bytes({8, 7, 6, 5, 4, 3, 2, 1}));
}

TEST(CustomRegistryBoolRead, NonZeroIsTrueOtherTypesGiveDefault) {
  struct Case {
    const char* what;
    uint32_t type;
    std::vector<std::byte> data;
    bool fallback;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"2 is true", RegType::Dword, Bytes({2, 0, 0, 0}), false, true},
      {"0 is false", RegType::Dword, Bytes({0, 0, 0, 0}), true, false},
      {"high bit only", RegType::Dword, Bytes({0, 0, 0, 0x80}), false, true},
      {"sz 1 gives default", RegType::Sz, Utf16(u"1"), false, false},
      {"binary gives default", RegType::Binary, Bytes({1, 0, 0, 0}), true, true},
  };
  for (const auto& c : cases) {
    FakeRegistry reg;
    reg.PutRaw(u"FullScreen", c.type, c.data);
    CustomRegistry settings(reg);
    EXPECT_EQ(settings.ReadSettingBool(u"FullScreen", c.fallback), c.expected) << c.what;
  }
}

TEST(CustomRegistryStringRead, TypesEmptinessAndFirstNul) {
  struct Case {
    const char* what;
    uint32_t type;
    std::vector<std::byte> data;
    std::u16string expected;  // default "english"
  };
  std::vector<std::byte> odd = Utf16(u"french", false);
  odd.push_back(std::byte{0x41});
  std::vector<std::byte> long_text;
  const std::u16string long_value(300000, u'x');
  long_text = Utf16(long_value);
  const std::vector<Case> cases = {
      {"plain", RegType::Sz, Utf16(u"french"), u"french"},
      {"expand sz unexpanded", RegType::ExpandSz, Utf16(u"%LANG%"), u"%LANG%"},
      {"empty gives default", RegType::Sz, Utf16(u""), u"english"},
      {"no data gives default", RegType::Sz, {}, u"english"},
      {"ends at first NUL", RegType::Sz, Utf16(std::u16string(u"fr\0ench", 7)), u"fr"},
      {"leading NUL gives default", RegType::Sz, Utf16(std::u16string(u"\0x", 2)), u"english"},
      {"without terminating NUL", RegType::Sz, Utf16(u"french", false), u"french"},
      {"odd byte count", RegType::Sz, odd, u"french"},
      {"dword gives default", RegType::Dword, Bytes({1, 0, 0, 0}), u"english"},
      {"multi sz gives default", RegType::MultiSz, Utf16(u"a"), u"english"},
      {"binary gives default", RegType::Binary, Utf16(u"a"), u"english"},
      {"qword gives default", RegType::Qword, Bytes({1, 0, 0, 0, 0, 0, 0, 0}), u"english"},
      {"600 kB text", RegType::Sz, long_text, long_value},
  };
  for (const auto& c : cases) {
    FakeRegistry reg;
    reg.PutRaw(u"Language", c.type, c.data);
    CustomRegistry settings(reg);
    EXPECT_EQ(settings.ReadSettingString(u"Language", u"english"), c.expected) << c.what;
  }
}

TEST(CustomRegistryRead, MissingKeyGivesEveryDefaultAndCreatesNothing) {
  FakeRegistry reg;
  CustomRegistry settings(reg);
  EXPECT_EQ(settings.ReadSettingString(u"Language", u"english"), u"english");
  EXPECT_EQ(settings.ReadSettingInteger(u"ExecutePeriod", 5), 5);
  EXPECT_TRUE(settings.ReadSettingBool(u"LoadNimbello", true));
  EXPECT_FALSE(reg.KeyExists(RegistryRoot::LocalMachine, u"Software\\VELTRA\\Nimbello"));
}

TEST(CustomRegistryWrite, StoresExactBytesAndCreatesWholePath) {
  FakeRegistry reg;
  CustomRegistry settings(reg);
  settings.WriteSettingBool(u"FullScreen", true);
  settings.WriteSettingBool(u"DefragMemory", false);
  settings.WriteSettingString(u"UpdatedDate", u"12/9/2026 6:58:19 PM");
  EXPECT_TRUE(reg.KeyExists(RegistryRoot::LocalMachine, u"Software"));
  EXPECT_TRUE(reg.KeyExists(RegistryRoot::LocalMachine, u"Software\\VELTRA"));
  ASSERT_NE(reg.Find(u"FullScreen"), nullptr);
  EXPECT_EQ(reg.Find(u"FullScreen")->type, RegType::Dword);
  EXPECT_EQ(reg.Find(u"FullScreen")->data, Bytes({1, 0, 0, 0}));
  EXPECT_EQ(reg.Find(u"DefragMemory")->data, Bytes({0, 0, 0, 0}));
  EXPECT_EQ(reg.Find(u"UpdatedDate")->type, RegType::Sz);
  EXPECT_EQ(reg.Find(u"UpdatedDate")->data, Utf16(u"12/9/2026 6:58:19 PM"));
  settings.WriteSettingString(u"Language", u"");
  EXPECT_EQ(reg.Find(u"Language")->data, Bytes({0, 0}));
}

TEST(CustomRegistryWrite, RefusedWriteChangesNothingAndReturns) {
  FakeRegistry reg;
  reg.PutDword(u"FullScreen", 0);
  reg.DenyWrites(RegistryRoot::LocalMachine, u"Software\\VELTRA\\Nimbello");
  CustomRegistry settings(reg);
  settings.WriteSettingBool(u"FullScreen", true);
  EXPECT_EQ(reg.Dword(u"FullScreen"), 0u);
  EXPECT_EQ(reg.writes, 0u);
}

// A port that claims more bytes than it was given room for: the store reads only its own buffer
// (ASan reports any read past it).
class OverstatingRegistry : public RegistryPort {
 public:
  RegistryQuery QueryValue(RegistryRoot, std::u16string_view, std::u16string_view,
                           std::span<std::byte> buffer) override {
    for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
      buffer[i] = std::byte{'x'};
    }
    RegistryQuery q;
    q.status = RegistryQuery::Status::Ok;
    q.type = RegType::Sz;
    q.size = static_cast<uint32_t>(buffer.size()) + 4096;
    return q;
  }
  bool SetValue(RegistryRoot, std::u16string_view, std::u16string_view, uint32_t,
                std::span<const std::byte>) override {
    return false;
  }
};

TEST(CustomRegistryString, OverstatedSizeNeverReadsPastTheBuffer) {
  OverstatingRegistry reg;
  CustomRegistry store(reg);
  const std::u16string text =
      store.ReadSettingString(RegistryRoot::LocalMachine, u"\\Software\\T", u"Language", u"d");
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_not_of(u'x'), std::u16string::npos);
}

}  // namespace

TEST(PolicyKeyRead, AValidPolicyWinsAnyOtherIsAsIfAbsent) {
  constexpr std::u16string_view Policy = Constants::PolicyKey;
  struct Case {
    const char* what;
    SettingId id;
    bool policyKey;
    uint32_t type;
    std::vector<std::byte> data;
    SettingValue expected;  // the settings key holds 50, 0 (off) and "clRed"; the small defaults
  };
  const std::vector<Case> cases = {
      {"number, no policy key", SettingId::MemoryFree, false, 0, {}, int32_t{50}},
      {"number valid", SettingId::MemoryFree, true, RegType::Dword, Bytes({25, 0, 0, 0}),
       int32_t{25}},
      {"number as text", SettingId::MemoryFree, true, RegType::Sz, Utf16(u"25"), int32_t{50}},
      {"number out of range", SettingId::MemoryFree, true, RegType::Dword, Bytes({100, 0, 0, 0}),
       int32_t{50}},
      {"on/off valid", SettingId::ProcessorLimit, true, RegType::Dword, Bytes({1, 0, 0, 0}), true},
      {"on/off as text", SettingId::ProcessorLimit, true, RegType::Sz, Utf16(u"1"), false},
      {"on/off of 2", SettingId::ProcessorLimit, true, RegType::Dword, Bytes({2, 0, 0, 0}), false},
      {"colour valid", SettingId::BarColor, true, RegType::Sz, Utf16(u"clBlue"), u"clBlue"},
      {"colour as number", SettingId::BarColor, true, RegType::Dword, Bytes({1, 0, 0, 0}),
       u"clRed"},
      {"colour unknown", SettingId::BarColor, true, RegType::Sz, Utf16(u"clPlaid"), u"clRed"},
      {"update check off", SettingId::UpdateCheck, true, RegType::Dword, Bytes({0, 0, 0, 0}),
       false},
      {"update check only from policy", SettingId::UpdateCheck, false, 0, {}, true},
      {"exchanged values are never fixed", SettingId::FullScreen, true, RegType::Dword,
       Bytes({1, 0, 0, 0}), false},
  };
  for (const auto& c : cases) {
    FakeRegistry reg;
    reg.PutDword(u"MemoryFree", 50);
    reg.PutDword(u"ProcessorLimit", 0);
    reg.PutDword(u"UpdateCheck", 0);  // a user's value: not the administrator's
    reg.PutDword(u"FullScreen", 0);
    reg.PutString(u"BarColor", u"clRed");
    if (c.policyKey) {
      reg.Put(RegistryRoot::LocalMachine, Policy, u"Other", RegType::Dword, Bytes({0, 0, 0, 0}));
    }
    if (!c.data.empty()) {
      reg.Put(RegistryRoot::LocalMachine, Policy, DefinitionOf(c.id).name, c.type, c.data);
    }
    const CustomRegistry settings(reg);
    EXPECT_EQ(ReadSetting(settings, c.id, MachineFacts{}), c.expected) << c.what;
  }
}

TEST(PolicyKeyRead, ABatchOpensTheKeyOnceAndWithoutItReadsNoPolicyValue) {
  for (const bool present : {false, true}) {
    FakeRegistry reg;
    if (present) {
      reg.Put(RegistryRoot::LocalMachine, Constants::PolicyKey, u"MemoryFree", RegType::Dword,
              Bytes({25, 0, 0, 0}));
    }
    const CustomRegistry settings(reg);
    {
      const PolicyReadBatch batch(settings);
      for (const SettingId id :
           {SettingId::MemoryFree, SettingId::LoadNimbello, SettingId::Language}) {
        ReadSetting(settings, id, MachineFacts{});
      }
    }
    const auto policyQueries = std::count_if(reg.log.begin(), reg.log.end(), [](const auto& a) {
      return a.path.starts_with(u"software\\policies");
    });
    EXPECT_EQ(reg.keyOpens, 1u) << present;
    EXPECT_EQ(policyQueries, present ? 3 : 0);
    // Nothing is kept from one batch (a tick) to the next.
    ReadSetting(settings, SettingId::MemoryFree, MachineFacts{});
    EXPECT_EQ(reg.keyOpens, 2u);
  }
}
