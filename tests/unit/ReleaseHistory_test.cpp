// The history and the spared list are values a user can write: what a worker cannot have written
// is dropped, and a forged spared list can only spare.
#include "foundation/ReleaseHistory.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/Constants.h"
#include "foundation/base/LittleEndian.h"
#include "foundation/base/Text.h"
#include "tests/fakes/FakeRegistry.h"

namespace {

constexpr uint64_t Now = 133'000'000'000'000'000ull, Hour = 36'000'000'000ull;
constexpr int64_t Total = int64_t{4096} * 1024 * 1024;

using Bytes = std::vector<std::byte>;

template <size_t N>
void Append(Bytes& out, uint64_t value) {
  const auto b = LittleEndianBytes<N>(value);
  out.insert(out.end(), b.begin(), b.end());
}

// time, requested, freed, dropped, regrown, faults, hardFaults, window
Bytes History(std::initializer_list<std::array<uint64_t, 8>> records) {
  Bytes out;
  for (const auto& r : records) {
    Append<8>(out, r[0]);
    for (size_t i = 1; i < 8; ++i) {
      Append<4>(out, r[i]);
    }
  }
  return out;
}

Bytes Spared(std::initializer_list<std::tuple<uint64_t, uint16_t, std::u16string, size_t>> rows) {
  Bytes out;
  for (const auto& [time, strikes, name, length] : rows) {
    Append<8>(out, time);
    Append<2>(out, strikes);
    Append<2>(out, length);
    for (size_t c = 0; c < SparedNameChars; ++c) {
      Append<2>(out, c < name.size() ? name[c] : 0);
    }
  }
  return out;
}

void Put(FakeRegistry& r, std::u16string_view name, uint32_t type, Bytes bytes) {
  r.Put(Constants::SettingsRoot, Constants::LastReleaseKey, name, type, std::move(bytes));
}

TEST(ReleaseHistory, KeepsOnlyWhatAWorkerCanHaveWritten) {
  const std::array<uint64_t, 8> good = {Now - Hour, 400, 300, 200, 50, 900, 40, 60};
  const auto with = [&](size_t field, uint64_t value) {
    auto r = good;
    r[field] = value;
    return r;
  };
  Bytes thirtyThree;
  for (uint64_t i = 0; i < 33; ++i) {
    const Bytes one = History({with(0, Now - 100 + i)});
    thirtyThree.insert(thirtyThree.end(), one.begin(), one.end());
  }
  struct Case {
    const char* what;
    uint32_t type;
    Bytes bytes;
    size_t kept;
  };
  const Case cases[] = {
      {"two good ones", RegType::Binary, History({good, with(0, Now)}), 2},
      {"another type", RegType::Dword, History({good}), 0},
      {"a cut record", RegType::Binary,
       [&] {
         auto b = History({good});
         b.pop_back();
         return b;
       }(),
       0},
      {"more than 32", RegType::Binary, thirtyThree, 0},
      {"in the future", RegType::Binary, History({good, with(0, Now + 1)}), 1},
      {"not after the one before", RegType::Binary, History({good, good}), 1},
      {"nothing asked", RegType::Binary, History({with(1, 0)}), 0},
      {"freed more than installed", RegType::Binary, History({with(2, 4097)}), 0},
      {"regrown beyond the drop", RegType::Binary, History({with(4, 201)}), 0},
      {"not measured", RegType::Binary, History({with(7, 0)}), 0},
      {"a window longer than any", RegType::Binary, History({with(7, 61)}), 0},
  };
  for (const Case& c : cases) {
    FakeRegistry r;
    Put(r, Constants::LastReleaseHistory, c.type, c.bytes);
    EXPECT_EQ(ReadReleaseHistory(r, Now, Total).size(), c.kept) << c.what;
  }
  // Appending past capacity lets the oldest go.
  FakeRegistry r;
  for (uint64_t i = 1; i <= 40; ++i) {
    AppendReleaseHistory(r, LastRelease{400, 300, 0, Now - 100 + i, 0, 0, 0, 0, 2, 1, 0, 0, 60},
                         Now, Total);
  }
  const auto kept = ReadReleaseHistory(r, Now, Total);
  ASSERT_EQ(kept.size(), HistoryCapacity);
  EXPECT_EQ(kept.front().time, Now - 100 + 9);
  EXPECT_EQ(kept.back().regrown, 1u);
}

// The last record's measured values come back as written, and all read 0 ("not measured yet")
// when one is missing or beyond what a worker measures.
TEST(LastRelease, MeasuredValuesAllOrNone) {
  const LastRelease w{400, 300, 100, Now - 1, 2, 0, 1000, 1300, 200, 50, 900, 40, 60};
  const auto measured = [](const LastRelease& l) {
    return std::vector<uint32_t>{l.availableBefore, l.availableAfter, l.dropped, l.regrown,
                                 l.faults,          l.hardFaults,     l.window};
  };
  const std::pair<std::u16string_view, uint32_t> spoils[] = {{u"", 0},
                                                             {Constants::LastReleaseRegrown, 201},
                                                             {Constants::LastReleaseWindow, 61},
                                                             {Constants::LastReleaseDropped, 4097},
                                                             {Constants::LastReleaseWindow, 0}};
  for (const auto& [name, value] : spoils) {
    FakeRegistry r;
    RecordLastRelease(r, w);
    if (!name.empty()) {
      const auto bytes = LittleEndianBytes<4>(value);
      Put(r, name, RegType::Dword, Bytes(bytes.begin(), bytes.end()));
    }
    const auto read = ReadLastRelease(r, Now, Total);
    ASSERT_TRUE(read);
    EXPECT_EQ(measured(*read), name.empty() ? measured(w) : std::vector<uint32_t>(7, 0))
        << ToUtf8(name);
  }
}

TEST(SparedPrograms, AForgedListCanOnlySpareFewForADay) {
  struct Case {
    const char* what;
    uint32_t type;
    Bytes bytes;
    std::vector<std::u16string> spared;
  };
  const Case cases[] = {
      {"two strikes an hour ago",
       RegType::Binary,
       Spared({{Now - Hour, 2, u"a.exe", 5}}),
       {u"a.exe"}},
      {"one strike", RegType::Binary, Spared({{Now - Hour, 1, u"a.exe", 5}}), {}},
      {"three strikes", RegType::Binary, Spared({{Now - Hour, 3, u"a.exe", 5}}), {}},
      {"a day ago", RegType::Binary, Spared({{Now - 24 * Hour, 2, u"a.exe", 5}}), {}},
      {"in the future", RegType::Binary, Spared({{Now + 1, 2, u"a.exe", 5}}), {}},
      {"no name", RegType::Binary, Spared({{Now, 2, u"", 0}}), {}},
      {"a length beyond the field", RegType::Binary, Spared({{Now, 2, u"a.exe", 61}}), {}},
      {"a NUL in the name", RegType::Binary, Spared({{Now, 2, u"a.exe", 7}}), {}},
      {"another type", RegType::MultiSz, Spared({{Now, 2, u"a.exe", 5}}), {}},
      {"a cut record",
       RegType::Binary,
       [] {
         auto b = Spared({{Now, 2, u"a.exe", 5}});
         b.pop_back();
         return b;
       }(),
       {}},
  };
  for (const Case& c : cases) {
    FakeRegistry r;
    Put(r, Constants::LastReleaseSpared, c.type, c.bytes);
    EXPECT_EQ(ReadSparedPrograms(r, Now), c.spared) << c.what;
  }
  // Two measured trims in a row that took half back spare an image; one that did not clears it.
  FakeRegistry r;
  const uint64_t MB = 1 << 20;
  const std::vector<ImageRegrowth> back = {{u"a.exe", 100 * MB, 50 * MB},
                                           {u"b.exe", 100 * MB, 49 * MB}};
  RecordSparedPrograms(r, back, Now - 2);
  EXPECT_TRUE(ReadSparedPrograms(r, Now - 2).empty());
  RecordSparedPrograms(r, back, Now - 1);
  EXPECT_EQ(ReadSparedPrograms(r, Now - 1), std::vector<std::u16string>{u"a.exe"});
  std::vector<ImageRegrowth> many;
  for (int i = 0; i < 70; ++i) {
    many.push_back({u"p" + std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
                        std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".exe",
                    MB, MB});
  }
  RecordSparedPrograms(r, many, Now);
  EXPECT_EQ(r.Find(Constants::SettingsRoot, Constants::LastReleaseKey, Constants::LastReleaseSpared)
                ->data.size(),
            SparedCapacity * SparedRecordBytes);
}

}  // namespace
