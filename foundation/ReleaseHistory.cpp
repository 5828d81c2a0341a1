#include "foundation/ReleaseHistory.h"

#include <algorithm>
#include <array>
#include <optional>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/base/LittleEndian.h"
#include "foundation/base/Rounding.h"
#include "foundation/base/Text.h"

namespace {

constexpr uint64_t FileTimeHour = uint64_t{36000000000};

// The value's bytes when it is REG_BINARY of a whole number of records, at most capacity of them.
std::optional<std::vector<std::byte>> ReadRecords(RegistryPort& registry, std::u16string_view name,
                                                  size_t recordBytes, size_t capacity) {
  // One byte more than the largest value a worker writes, so a longer one shows as too long.
  std::vector<std::byte> buffer(recordBytes * capacity + 1);
  const RegistryQuery q =
      registry.QueryValue(Constants::SettingsRoot, Constants::LastReleaseKey, name, buffer);
  if (q.status != RegistryQuery::Status::Ok || q.type != RegType::Binary ||
      q.size > recordBytes * capacity || q.size % recordBytes != 0) {
    return std::nullopt;
  }
  buffer.resize(q.size);
  return buffer;
}

void WriteRecords(RegistryPort& registry, std::u16string_view name,
                  const std::vector<std::byte>& bytes) {
  registry.SetValue(Constants::SettingsRoot, Constants::LastReleaseKey, name, RegType::Binary,
                    bytes);
}

template <size_t N>
void Put(std::vector<std::byte>& out, uint64_t value) {
  const auto bytes = LittleEndianBytes<N>(value);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

int64_t TotalMegabytes(int64_t totalBytes) {
  return RoundToInt64(static_cast<long double>(totalBytes) / 1024 / 1024);
}

struct SparedEntry {
  uint64_t time = 0;
  uint16_t strikes = 0;
  std::u16string name;
};

// Entries a worker can have written: a time not after now, one or two strikes, a name that fits
// and holds no NUL. Anything else is dropped, one entry at a time.
std::vector<SparedEntry> ReadSpared(RegistryPort& registry, uint64_t nowFileTime) {
  std::vector<SparedEntry> entries;
  const auto bytes =
      ReadRecords(registry, Constants::LastReleaseSpared, SparedRecordBytes, SparedCapacity);
  if (!bytes) {
    return entries;
  }
  for (size_t at = 0; at < bytes->size(); at += SparedRecordBytes) {
    const std::byte* r = bytes->data() + at;
    SparedEntry e;
    e.time = ReadLittleEndian(r, 8);
    e.strikes = static_cast<uint16_t>(ReadLittleEndian(r + 8, 2));
    const size_t length = ReadLittleEndian(r + 10, 2);
    if (e.time == 0 || e.time > nowFileTime || e.strikes < 1 || e.strikes > 2 || length == 0 ||
        length > SparedNameChars) {
      continue;
    }
    for (size_t i = 0; i < length; ++i) {
      e.name.push_back(static_cast<char16_t>(ReadLittleEndian(r + 12 + 2 * i, 2)));
    }
    if (e.name.find(u'\0') == std::u16string::npos) {
      entries.push_back(std::move(e));
    }
  }
  return entries;
}

}  // namespace

std::vector<MeasuredRelease> ReadReleaseHistory(RegistryPort& registry, uint64_t nowFileTime,
                                                int64_t totalBytes) {
  return guarded_or(std::vector<MeasuredRelease>(), [&] {
    std::vector<MeasuredRelease> history;
    const auto bytes =
        ReadRecords(registry, Constants::LastReleaseHistory, HistoryRecordBytes, HistoryCapacity);
    if (!bytes) {
      return history;
    }
    const int64_t totalMegabytes = TotalMegabytes(totalBytes);
    const auto fits = [&](uint32_t megabytes) {
      return totalBytes <= 0 || static_cast<int64_t>(megabytes) <= totalMegabytes;
    };
    uint64_t previous = 0;
    for (size_t at = 0; at < bytes->size(); at += HistoryRecordBytes) {
      const std::byte* r = bytes->data() + at;
      const auto dword = [&](size_t index) {
        return static_cast<uint32_t>(ReadLittleEndian(r + 8 + 4 * index, 4));
      };
      const MeasuredRelease m{ReadLittleEndian(r, 8),
                              dword(0),
                              dword(1),
                              dword(2),
                              dword(3),
                              dword(4),
                              dword(5),
                              dword(6)};
      if (m.time == 0 || m.time > nowFileTime || m.time <= previous || m.requested == 0 ||
          !fits(m.requested) || !fits(m.freed) || !fits(m.dropped) || m.regrown > m.dropped ||
          m.window == 0 || m.window > Constants::MeasureWindowSeconds) {
        continue;
      }
      previous = m.time;
      history.push_back(m);
    }
    return history;
  });
}

void AppendReleaseHistory(RegistryPort& registry, const LastRelease& measured, uint64_t nowFileTime,
                          int64_t totalBytes) {
  guarded([&] {
    std::vector<MeasuredRelease> history = ReadReleaseHistory(registry, nowFileTime, totalBytes);
    history.push_back({measured.time, measured.requested, measured.freed, measured.dropped,
                       measured.regrown, measured.faults, measured.hardFaults, measured.window});
    const size_t skip = history.size() > HistoryCapacity ? history.size() - HistoryCapacity : 0;
    std::vector<std::byte> out;
    for (size_t i = skip; i < history.size(); ++i) {
      const MeasuredRelease& m = history[i];
      Put<8>(out, m.time);
      for (const uint32_t v :
           {m.requested, m.freed, m.dropped, m.regrown, m.faults, m.hardFaults, m.window}) {
        Put<4>(out, v);
      }
    }
    WriteRecords(registry, Constants::LastReleaseHistory, out);
  });
}

std::vector<std::u16string> ReadSparedPrograms(RegistryPort& registry, uint64_t nowFileTime) {
  return guarded_or(std::vector<std::u16string>(), [&] {
    std::vector<std::u16string> names;
    for (const SparedEntry& e : ReadSpared(registry, nowFileTime)) {
      if (e.strikes == 2 && nowFileTime - e.time < SparedHours * FileTimeHour) {
        names.push_back(e.name);
      }
    }
    return names;
  });
}

void RecordSparedPrograms(RegistryPort& registry, const std::vector<ImageRegrowth>& images,
                          uint64_t nowFileTime) {
  guarded([&] {
    std::vector<SparedEntry> entries = ReadSpared(registry, nowFileTime);
    for (const ImageRegrowth& image : images) {
      if (image.droppedBytes == 0 || image.name.empty() || image.name.size() > SparedNameChars ||
          image.name.find(u'\0') != std::u16string::npos) {
        continue;
      }
      const auto same = std::find_if(entries.begin(), entries.end(), [&](const SparedEntry& e) {
        return EqualsIgnoreAsciiCase(e.name, image.name);
      });
      // Trimmed while spared cannot happen; a spare that ran out starts over at one strike.
      const bool spareRunning = same != entries.end() && same->strikes == 2 &&
                                nowFileTime - same->time < SparedHours * FileTimeHour;
      const uint16_t before = same == entries.end() || spareRunning ? 0 : same->strikes;
      if (same != entries.end()) {
        entries.erase(same);
      }
      if (image.regrownBytes * 2 >= image.droppedBytes) {
        entries.push_back({nowFileTime, static_cast<uint16_t>(before == 1 ? 2 : 1), image.name});
      }
    }
    // Newest last; the oldest leave beyond capacity.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SparedEntry& a, const SparedEntry& b) { return a.time < b.time; });
    const size_t skip = entries.size() > SparedCapacity ? entries.size() - SparedCapacity : 0;
    std::vector<std::byte> out;
    for (size_t i = skip; i < entries.size(); ++i) {
      const SparedEntry& e = entries[i];
      Put<8>(out, e.time);
      Put<2>(out, e.strikes);
      Put<2>(out, e.name.size());
      for (size_t c = 0; c < SparedNameChars; ++c) {
        Put<2>(out, c < e.name.size() ? e.name[c] : 0);
      }
    }
    WriteRecords(registry, Constants::LastReleaseSpared, out);
  });
}
