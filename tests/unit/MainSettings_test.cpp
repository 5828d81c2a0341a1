// The main window's settings model over the fake registry: effective values, validation, what a
// save writes and how refusals are reported; and the access keys of its captions.
#include "mainwindow/MainSettings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "foundation/Constants.h"
#include "foundation/LanguageFile.h"
#include "foundation/base/Text.h"
#include "foundation/LastRelease.h"
#include "mainwindow/MainFormText.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResources.h"
#include "tests/fakes/ShippedFile.h"
#include "tray/CustomTrayIconImage.h"

namespace {

constexpr int64_t MB = 1024 * 1024;

using S = SettingId;

TEST(MainSettings, EffectiveValuesByMemoryClassVersionAndStoredValue) {
  struct Case {
    int64_t total;
    int32_t version;
    std::map<S, SettingValue> expected;  // the rest as on a large Windows 7 machine
  };
  const std::map<S, SettingValue> win7Large = {
      {S::MemoryMaintain, 30},          {S::MemoryFree, 60},       {S::ExecutePeriod, 5},
      {S::ProcessorLimit, true},        {S::ProcessorTrigger, 85}, {S::BatteryCheck, false},
      {S::FullScreenCheck, true},       {S::LoadNimbello, true},   {S::LoadTrayIcon, true},
      {S::BackgroundColor, u"clWhite"}, {S::GridColor, u"clGray"}, {S::BarColor, u"clGreen"},
      {S::Language, u"english"}};
  const std::vector<Case> cases = {
      {2048 * MB, 5, {}},
      {1536 * MB - MB / 2, 5, {}},  // rounds to 1536: large
      {1534 * MB + MB / 2, 5, {{S::MemoryMaintain, 20}, {S::MemoryFree, 40}}},
      {4096 * MB,
       -1,
       {{S::BackgroundColor, u"clBlack"}, {S::GridColor, u"clGreen"}, {S::BarColor, u"clLime"}}},
      {4096 * MB,
       4,
       {{S::BackgroundColor, u"clBlack"}, {S::GridColor, u"clGreen"}, {S::BarColor, u"clLime"}}},
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    const SettingValues values =
        ReadEffectiveSettings(CustomRegistry(registry), {c.total, c.version});
    for (auto [id, value] : win7Large) {
      if (c.expected.count(id)) {
        value = c.expected.at(id);
      }
      EXPECT_EQ(values[id], value) << ToUtf8(DefinitionOf(id).name) << " " << c.total;
    }
  }
  // Stored values count when the programs would take them, and only then.
  FakeRegistry registry;
  registry.PutString(Constants::MemoryFree, u"50");  // digits as text: the default
  registry.PutDword(Constants::MemoryMaintain, 25);
  registry.PutDword(Constants::BatteryCheck, 2);
  registry.PutDword(Constants::ExecutePeriod, 0xFFFFFFFF);
  registry.PutString(Constants::BarColor, u"clRed");
  registry.PutString(Constants::Language, u"");
  const SettingValues values = ReadEffectiveSettings(CustomRegistry(registry), {2048 * MB, 5});
  EXPECT_EQ(values.Integer(S::MemoryFree), 60);
  EXPECT_EQ(values.Integer(S::MemoryMaintain), 25);
  EXPECT_TRUE(values.Boolean(S::BatteryCheck));
  EXPECT_EQ(values.Integer(S::ExecutePeriod), -1);
  EXPECT_EQ(values.Text(S::BarColor), u"clRed");
  EXPECT_EQ(values.Text(S::Language), u"english");
  EXPECT_EQ(registry.writes, 0u);
}

TEST(MainSettings, ValidationRanges) {
  struct Case {
    S id;
    SettingValue value;
    bool valid;
  };
  const std::vector<Case> cases = {
      {S::MemoryMaintain, 0, false},     {S::MemoryMaintain, 1, true},
      {S::MemoryMaintain, 99, true},     {S::MemoryMaintain, 100, false},
      {S::MemoryFree, 99, true},         {S::MemoryFree, -5, false},
      {S::ExecutePeriod, 0, false},      {S::ExecutePeriod, 1440, true},
      {S::ExecutePeriod, 1441, false},   {S::ProcessorTrigger, 100, true},
      {S::ProcessorTrigger, 101, false}, {S::MemoryFree, true, false},
      {S::BatteryCheck, true, true},     {S::BatteryCheck, 1, false},
      {S::BarColor, u"CLLIME", true},    {S::GridColor, u"$00FF00", true},
      {S::GridColor, u"clLimee", false}, {S::BackgroundColor, u"", false},
      {S::Language, u"French", true},    {S::Language, u"german", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidSetting(c.id, c.value), c.valid) << ToUtf8(DefinitionOf(c.id).name);
  }
  const std::vector<std::pair<std::u16string, std::optional<int32_t>>> numbers = {
      {u" 42 ", 42},
      {u"-7", -7},
      {u"2147483647", 2147483647},
      {u"-2147483648", INT32_MIN},
      {u"2147483648", std::nullopt},
      {u"", std::nullopt},
      {u"4 2", std::nullopt},
      {u"12a", std::nullopt}};
  for (const auto& [text, number] : numbers) {
    EXPECT_EQ(ParseWholeNumber(text), number) << ToUtf8(text);
  }
}

TEST(MainSettings, SaveWritesExactlyTheChangedValuesWithTheirTypes) {
  RefusingRegistry registry;
  const CustomRegistry settings(registry);
  SettingValues stored = ReadEffectiveSettings(settings, {2048 * MB, -1});
  SettingValues edited = stored;
  edited[S::MemoryFree] = 45;
  edited[S::LoadTrayIcon] = false;
  edited[S::BarColor] = std::u16string(u"clRed");
  edited[S::Language] = std::u16string(u"french");

  // One invalid value holds back every write.
  SettingValues invalid = edited;
  invalid[S::ExecutePeriod] = 0;
  SaveResult result = SaveChangedSettings(settings, stored, invalid);
  EXPECT_EQ(result.invalid, std::vector<S>{S::ExecutePeriod});
  EXPECT_EQ(registry.writes, 0u);

  // A refused value is reported, the others are written, and it is the only one tried again.
  registry.refused = {std::u16string(Constants::Language)};
  result = SaveChangedSettings(settings, stored, edited);
  EXPECT_EQ(result.written, (std::vector<S>{S::MemoryFree, S::LoadTrayIcon, S::BarColor}));
  EXPECT_EQ(result.failed, std::vector<S>{S::Language});
  EXPECT_FALSE(result.Complete());
  EXPECT_EQ(ChangedSettings(stored, edited), std::vector<S>{S::Language});
  registry.refused.clear();
  registry.log.clear();
  result = SaveChangedSettings(settings, stored, edited);
  EXPECT_TRUE(result.Complete());
  EXPECT_EQ(registry.log.size(), 1u);
  EXPECT_EQ(stored, edited);

  EXPECT_EQ(registry.writes, 4u);
  const auto* free = registry.Find(Constants::MemoryFree);
  ASSERT_NE(free, nullptr);
  EXPECT_EQ(free->type, RegType::Dword);
  EXPECT_EQ(registry.Dword(Constants::MemoryFree), 45u);
  EXPECT_EQ(registry.Find(Constants::LoadTrayIcon)->type, RegType::Dword);
  EXPECT_EQ(registry.Dword(Constants::LoadTrayIcon), 0u);
  EXPECT_EQ(registry.Find(Constants::BarColor)->type, RegType::Sz);
  EXPECT_EQ(registry.Find(Constants::BarColor)->data.size(), 12u);  // "clRed" and its NUL
  EXPECT_EQ(registry.String(Constants::Language), u"french");
  EXPECT_EQ(SaveChangedSettings(settings, stored, edited).written, std::vector<S>{});

  // A key that refuses every write: everything is reported, nothing counts as stored.
  FakeRegistry locked;
  locked.DenyWrites(Constants::SettingsRoot, Constants::SettingsKey);
  SettingValues lockedStored = ReadEffectiveSettings(CustomRegistry(locked), {2048 * MB, -1});
  result = SaveChangedSettings(CustomRegistry(locked), lockedStored, edited);
  EXPECT_EQ(result.failed.size(), 4u);
  EXPECT_EQ(ChangedSettings(lockedStored, edited).size(), 4u);
}

// Users may write the record, so anything a worker could not have left reads as no release.
TEST(MainSettings, LastReleaseRecordAndFigures) {
  constexpr uint64_t Now = 0x01DB4A2B3C4D5E6Full;
  constexpr int64_t Total = 2048 * MB;
  struct Value {
    uint32_t type;
    uint64_t v;
    size_t size;
  };
  struct Case {
    const char* what;
    Value requested, freed, ms, time;
    bool shown;
  };
  const Value requested{RegType::Dword, 1229, 4}, freed{RegType::Dword, 800, 4},
      ms{RegType::Dword, 950, 4}, time{RegType::Qword, Now - 1, 8};
  const Case cases[] = {
      {"a worker's record", requested, freed, ms, time, true},
      {"ended now", requested, freed, ms, {RegType::Qword, Now, 8}, true},
      {"all the memory", {RegType::Dword, 2048, 4}, {RegType::Dword, 2048, 4}, ms, time, true},
      {"a time of 4 bytes", requested, freed, ms, {RegType::Dword, 5, 4}, false},
      {"a time in the future", requested, freed, ms, {RegType::Qword, Now + 1, 8}, false},
      {"time 0", requested, freed, ms, {RegType::Qword, 0, 8}, false},
      {"a number as text", {RegType::Sz, 0x31, 4}, freed, ms, time, false},
      {"a QWORD count", requested, {RegType::Qword, 800, 8}, ms, time, false},
      {"a DWORD of 2 bytes", requested, freed, {RegType::Dword, 950, 2}, time, false},
      {"nothing asked for", {RegType::Dword, 0, 4}, freed, ms, time, false},
      {"more than the memory", {RegType::Dword, 2049, 4}, freed, ms, time, false},
      {"more freed than the memory", requested, {RegType::Dword, 0xFFFFFFFF, 4}, ms, time, false},
      {"a run of 49 days", requested, freed, {RegType::Dword, 0xFFFFFFFF, 4}, time, false},
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    EXPECT_FALSE(ReadLastRelease(registry, Now, Total));
    const auto put = [&](std::u16string_view name, const Value& value) {
      std::vector<std::byte> data;
      for (size_t i = 0; i < value.size; ++i) {
        data.push_back(static_cast<std::byte>((value.v >> (8 * i)) & 0xFF));
      }
      registry.Put(Constants::SettingsRoot, Constants::LastReleaseKey, name, value.type, data);
    };
    put(Constants::LastReleaseRequested, c.requested);
    put(Constants::LastReleaseFreed, c.freed);
    put(Constants::LastReleaseMilliseconds, c.ms);
    put(Constants::LastReleaseTime, c.time);
    put(Constants::LastReleaseTrimmed, {RegType::Dword, 7, 4});
    put(Constants::LastReleaseRefused, {RegType::Dword, 2, 4});
    const auto record = ReadLastRelease(registry, Now, Total);
    ASSERT_EQ(record.has_value(), c.shown) << c.what;
    if (record) {
      EXPECT_EQ(record->requested, c.requested.v) << c.what;
      EXPECT_EQ(record->freed, c.freed.v) << c.what;
      EXPECT_EQ(record->milliseconds, c.ms.v) << c.what;
      EXPECT_EQ(record->time, c.time.v) << c.what;
      EXPECT_EQ(record->trimmed, 7u) << c.what;
      EXPECT_EQ(record->refused, 2u) << c.what;
    }
  }
}

TEST(MainSettings, AWorkersRecordReadsBackWhole) {
  FakeRegistry registry;
  const LastRelease written{1024, 300, 4100, 0x01DB4A2B3C4D5E6Full, 12, 3};
  RecordLastRelease(registry, written);
  const auto read = ReadLastRelease(registry, written.time, 2048 * MB);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::tie(read->requested, read->freed, read->milliseconds, read->time, read->trimmed,
                     read->refused),
            std::tie(written.requested, written.freed, written.milliseconds, written.time,
                     written.trimmed, written.refused));
  EXPECT_EQ(ReadLastReleaseTime(registry), written.time);
}

TEST(MainSettings, Figures) {
  EXPECT_EQ(FormatCaption(u"%1: %3 of %2 MB, %5 100%", {u"a", u"b", u"c"}),
            u"a: c of b MB, %5 100%");
  EXPECT_EQ(ReleaseMegabytes(50, 1025 * MB), 512);
  EXPECT_EQ(MegabytesText(MaintainThresholdBytes(30, 2048 * MB)), u"614");
  EXPECT_EQ(WithoutAccessKey(u"Fish && &Chips"), u"Fish & Chips");
  EXPECT_EQ(ColorText(0x0000FF), u"$0000FF");
  EXPECT_EQ(ColorFromName(ColorText(0xA1B2C3)), 0xA1B2C3u);
}

// Within the window's section, no two captions share an access key, in either language.
TEST(MainSettings, AccessKeysDoNotClash) {
  FakeResources ansi;
  for (const char* file : {"English.lng", "French.lng"}) {
    const std::vector<std::byte> bytes = ReadShippedFile(file);
    std::map<char16_t, std::u16string> keys;
    VisitLanguageEntries(DecodeLanguageText(bytes, ansi), [&](const auto& fields) {
      if (fields.size() == 3 && fields[0] == MainFormSection && AccessKeyOf(fields[2]) != 0) {
        EXPECT_TRUE(keys.emplace(AccessKeyOf(fields[2]), fields[1]).second)
            << file << ": " << ToUtf8(fields[1]) << " and " << ToUtf8(keys[AccessKeyOf(fields[2])]);
      }
      return true;
    });
    EXPECT_GE(keys.size(), 14u) << file;
  }
}

}  // namespace
