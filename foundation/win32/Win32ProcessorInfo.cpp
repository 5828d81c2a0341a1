#include "foundation/win32/Win32ProcessorInfo.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

#include "foundation/base/GrowingQuery.h"
#include "foundation/base/win32/SystemInformationQuery.h"

namespace {

// Lengths and offsets of the three records on this target. SYSTEM_BASIC_INFORMATION holds
// pointer-sized fields before the processor count, so the 64-bit record is longer and the count
// sits further on; the time-of-day and performance records hold only 32- and 64-bit fields and are
// the same on both.
struct RecordLayout {
  ULONG basicLength;
  size_t processorCountOffset;
  ULONG timeOfDayLength;
  size_t currentTimeOffset;
  ULONG performanceLengthShort;
  ULONG performanceLengthLong;
  size_t idleTimeOffset;
};

#if defined(_WIN64)
constexpr RecordLayout Layout{64, 56, 32, 8, 312, 1000, 0};
#else
constexpr RecordLayout Layout{44, 40, 32, 8, 312, 1000, 0};
#endif

// Windows 8 and later refuse the old performance record and have lengthened it since; the long
// record grows on request up to this bound.
constexpr ULONG PerformanceLengthLimit = 16384;

constexpr ULONG SystemBasicInformation = 0;
constexpr ULONG SystemPerformanceInformation = 2;
constexpr ULONG SystemTimeOfDayInformation = 3;

// Long enough for every fixed-length record above; the query is never given a length beyond its
// buffer.
using RecordBuffer = std::array<std::byte, 312>;
static_assert(Layout.basicLength <= sizeof(RecordBuffer) &&
              Layout.timeOfDayLength <= sizeof(RecordBuffer) &&
              Layout.performanceLengthShort <= sizeof(RecordBuffer));
static_assert(Layout.processorCountOffset < Layout.basicLength &&
              Layout.currentTimeOffset + 8 <= Layout.timeOfDayLength &&
              Layout.idleTimeOffset + 8 <= Layout.performanceLengthShort);

// The whole buffer, cleared first: a record the system writes only in part reads as zeros.
QueryAnswer QueryCleared(ULONG informationClass, std::span<std::byte> buffer) {
  std::fill(buffer.begin(), buffer.end(), std::byte{0});
  return QuerySystemInformation(informationClass, buffer);
}

bool QueryRecord(ULONG informationClass, RecordBuffer& buffer, ULONG length) {
  return QueryCleared(informationClass, std::span(buffer).first(length)).status == 0;
}

RecordInt64 ReadInt64(std::span<const std::byte> buffer, size_t offset) {
  RecordInt64 value;
  std::memcpy(&value.low, buffer.data() + offset, sizeof value.low);
  std::memcpy(&value.high, buffer.data() + offset + sizeof value.low, sizeof value.high);
  return value;
}

}  // namespace

std::optional<uint8_t> Win32ProcessorInfo::QueryNumberOfProcessors() {
  alignas(8) RecordBuffer buffer;
  if (!QueryRecord(SystemBasicInformation, buffer, Layout.basicLength)) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(buffer[Layout.processorCountOffset]);
}

std::optional<RecordInt64> Win32ProcessorInfo::QuerySystemTime() {
  alignas(8) RecordBuffer buffer;
  if (!QueryRecord(SystemTimeOfDayInformation, buffer, Layout.timeOfDayLength)) {
    return std::nullopt;
  }
  return ReadInt64(buffer, Layout.currentTimeOffset);
}

std::optional<RecordInt64> Win32ProcessorInfo::QueryIdleTime(PerformanceRecordLength length) {
  if (length == PerformanceRecordLength::Short) {
    alignas(8) RecordBuffer buffer;
    if (!QueryRecord(SystemPerformanceInformation, buffer, Layout.performanceLengthShort)) {
      return std::nullopt;
    }
    return ReadInt64(buffer, Layout.idleTimeOffset);
  }
  // 64-bit elements keep the record's 64-bit fields aligned.
  std::vector<uint64_t> record;
  const auto answered =
      QueryGrowing(Layout.performanceLengthLong, PerformanceLengthLimit, [&](uint32_t size) {
        record.assign((size + 7) / 8, 0);
        return QueryCleared(SystemPerformanceInformation,
                            std::as_writable_bytes(std::span(record)).first(size));
      });
  if (!answered) {
    return std::nullopt;
  }
  return ReadInt64(std::as_bytes(std::span(record)), Layout.idleTimeOffset);
}
