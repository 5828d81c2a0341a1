// The history and the spared list are values a user can write: what a worker cannot have written
// is dropped, and a forged spared list can only spare, at most 64 programs for at most a day.
#include "foundation/ReleaseHistory.h"

#include <gtest/gtest.h>

#include "foundation/Constants.h"
#include "foundation/base/LittleEndian.h"
#include "foundation/base/Text.h"
#include "tests/fakes/FakeRegistry.h"

namespace {

constexpr uint64_t Now = 133'000'000'000'000'000ull, Hour = 36'000'000'000ull;
constexpr int64_t Total = int64_t{4096} * 1024 * 1024;
using Bytes = std::vector<std::byte>;

// Fields of `widths` bytes each, record after record.
Bytes Records(std::initializer_list<std::vector<uint64_t>> records, std::vector<size_t> widths) {
  Bytes out;
  for (const auto& r : records) {
    for (size_t i = 0; i < widths.size(); ++i) {
      const auto b = LittleEndianBytes<8>(i < r.size() ? r[i] : 0);
      out.insert(out.end(), b.begin(), b.begin() + static_cast<long>(widths[i]));
    }
  }
  return out;
}
const std::vector<size_t> HistoryWidths = {8, 4, 4, 4, 4, 4, 4, 4};
// Time, strikes, length, then the name's characters: "a.exe" and 55 zeros.
const std::vector<size_t> SparedWidths = [] {
  std::vector<size_t> w = {8, 2, 2};
  w.resize(3 + SparedNameChars, 2);
  return w;
}();
std::vector<uint64_t> Entry(uint64_t time, uint64_t strikes, uint64_t length) {
  return {time, strikes, length, 'a', '.', 'e', 'x', 'e'};
}

void Put(FakeRegistry& r, std::u16string_view name, uint32_t type, Bytes bytes) {
  r.Put(Constants::SettingsRoot, Constants::LastReleaseKey, name, type, std::move(bytes));
}

TEST(ReleaseHistory, KeepsOnlyWhatAWorkerCanHaveWritten) {
  const std::vector<uint64_t> good = {Now - Hour, 400, 300, 200, 50, 900, 40, 60};
  const auto with = [&](size_t field, uint64_t value) {
    auto r = good;
    r[field] = value;
    return r;
  };
  Bytes cut = Records({good}, HistoryWidths);
  cut.pop_back();
  const auto H = [&](std::initializer_list<std::vector<uint64_t>> r) {
    return Records(r, HistoryWidths);
  };
  const std::tuple<const char*, uint32_t, Bytes, size_t> cases[] = {
      {"two good ones", RegType::Binary, H({good, with(0, Now)}), 2},
      {"another type", RegType::Dword, H({good}), 0},
      {"a cut record", RegType::Binary, cut, 0},
      {"in the future", RegType::Binary, H({good, with(0, Now + 1)}), 1},
      {"not after the one before", RegType::Binary, H({good, good}), 1},
      {"nothing asked", RegType::Binary, H({with(1, 0)}), 0},
      {"freed more than installed", RegType::Binary, H({with(2, 4097)}), 0},
      {"regrown beyond the drop", RegType::Binary, H({with(4, 201)}), 0},
      {"not measured", RegType::Binary, H({with(7, 0)}), 0},
      {"a window longer than any", RegType::Binary, H({with(7, 61)}), 0},
  };
  for (const auto& [what, type, bytes, kept] : cases) {
    FakeRegistry r;
    Put(r, Constants::LastReleaseHistory, type, bytes);
    EXPECT_EQ(ReadReleaseHistory(r, Now, Total).size(), kept) << what;
  }
  // Appending past capacity lets the oldest go; a value holding more than a worker keeps is none.
  FakeRegistry r;
  for (uint64_t i = 1; i <= 40; ++i) {
    AppendReleaseHistory(r, {400, 300, 0, Now - 100 + i, 0, 0, 0, 0, 2, 1, 0, 0, 60}, Now, Total);
  }
  const auto kept = ReadReleaseHistory(r, Now, Total);
  ASSERT_EQ(kept.size(), HistoryCapacity);
  EXPECT_EQ(kept.front().time, Now - 100 + 9);
  Bytes more = r.Find(Constants::SettingsRoot, Constants::LastReleaseKey, u"History")->data;
  more.insert(more.end(), more.begin(), more.begin() + HistoryRecordBytes);
  Put(r, Constants::LastReleaseHistory, RegType::Binary, more);
  EXPECT_TRUE(ReadReleaseHistory(r, Now, Total).empty());
}

// The last record's measured values read as written, or all as 0 ("not measured yet") when one
// is beyond what a worker measures.
TEST(LastRelease, MeasuredValuesAllOrNone) {
  using namespace Constants;
  for (const auto& [name, value] : {std::pair{LastReleaseFaults, 9u},
                                    {LastReleaseRegrown, 201u},
                                    {LastReleaseWindow, 61u},
                                    {LastReleaseDropped, 4097u}}) {
    FakeRegistry r;
    RecordLastRelease(r, {400, 300, 100, Now - 1, 2, 0, 1000, 1300, 200, 50, 900, 40, 60});
    Put(r, name, RegType::Dword, Records({{value}}, {4}));
    const auto read = ReadLastRelease(r, Now, Total);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->window, name == LastReleaseFaults ? 60u : 0u) << ToUtf8(name);
  }
}

TEST(SparedPrograms, AForgedListCanOnlySpareFewForADay) {
  Bytes cut = Records({Entry(Now, 2, 5)}, SparedWidths);
  cut.pop_back();
  const auto S = [&](std::vector<uint64_t> e) { return Records({e}, SparedWidths); };
  const std::vector<std::u16string> none, a = {u"a.exe"};
  const std::tuple<const char*, uint32_t, Bytes, std::vector<std::u16string>> cases[] = {
      {"two strikes an hour ago", RegType::Binary, S(Entry(Now - Hour, 2, 5)), a},
      {"one strike", RegType::Binary, S(Entry(Now - Hour, 1, 5)), none},
      {"three strikes", RegType::Binary, S(Entry(Now - Hour, 3, 5)), none},
      {"a day ago", RegType::Binary, S(Entry(Now - 24 * Hour, 2, 5)), none},
      {"in the future", RegType::Binary, S(Entry(Now + 1, 2, 5)), none},
      {"no name", RegType::Binary, S(Entry(Now, 2, 0)), none},
      {"a length beyond the field", RegType::Binary, S(Entry(Now, 2, 61)), none},
      {"a NUL in the name", RegType::Binary, S(Entry(Now, 2, 7)), none},
      {"another type", RegType::MultiSz, S(Entry(Now, 2, 5)), none},
      {"a cut record", RegType::Binary, cut, none},
  };
  for (const auto& [what, type, bytes, spared] : cases) {
    FakeRegistry r;
    Put(r, Constants::LastReleaseSpared, type, bytes);
    EXPECT_EQ(ReadSparedPrograms(r, Now), spared) << what;
  }
  // Two measured trims in a row that took half back spare an image, one is not enough; the list
  // keeps the newest 64.
  FakeRegistry r;
  const std::vector<ImageRegrowth> back = {{u"a.exe", 100, 50}, {u"b.exe", 100, 49}};
  RecordSparedPrograms(r, back, Now - 2);
  EXPECT_EQ(ReadSparedPrograms(r, Now - 2), none);
  RecordSparedPrograms(r, back, Now - 1);
  EXPECT_EQ(ReadSparedPrograms(r, Now - 1), a);
  std::vector<ImageRegrowth> many;
  for (char16_t i = 0; i < 70; ++i) {
    many.push_back({std::u16string{u'p', char16_t(u'0' + i / 10), char16_t(u'0' + i % 10)}, 1, 1});
  }
  RecordSparedPrograms(r, many, Now);
  EXPECT_EQ(r.Find(Constants::SettingsRoot, Constants::LastReleaseKey, Constants::LastReleaseSpared)
                ->data.size(),
            SparedCapacity * SparedRecordBytes);
}

}  // namespace
