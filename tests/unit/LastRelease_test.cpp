#include "foundation/LastRelease.h"

#include <gtest/gtest.h>

#include <tuple>

#include "foundation/Constants.h"
#include "tests/fakes/FakeRegistry.h"

namespace {

constexpr int64_t MB = 1024 * 1024;

// Users may write the record, so anything a worker could not have left reads as no release.
TEST(LastRelease, LastReleaseRecordAndFigures) {
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

TEST(LastRelease, AWorkersRecordReadsBackWhole) {
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

}  // namespace
