#include "foundation/win32/Win32ProcessorInfo.h"

#include <windows.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <span>

#include "foundation/win32/SystemLibrary.h"
#include "foundation/win32/UniqueHandle.h"

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

constexpr ULONG SystemBasicInformation = 0;
constexpr ULONG SystemPerformanceInformation = 2;
constexpr ULONG SystemTimeOfDayInformation = 3;

// Long enough for every record above; the query is never given a length beyond its buffer.
using RecordBuffer = std::array<std::byte, 1000>;
static_assert(Layout.basicLength <= sizeof(RecordBuffer) &&
              Layout.timeOfDayLength <= sizeof(RecordBuffer) &&
              Layout.performanceLengthShort <= sizeof(RecordBuffer) &&
              Layout.performanceLengthLong <= sizeof(RecordBuffer));
static_assert(Layout.processorCountOffset < Layout.basicLength &&
              Layout.currentTimeOffset + 8 <= Layout.timeOfDayLength &&
              Layout.idleTimeOffset + 8 <= Layout.performanceLengthShort);

using NtQuerySystemInformationFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// One query: the library is loaded for it and released after it, nothing is kept.
bool QuerySystemInformation(ULONG informationClass, RecordBuffer& buffer, ULONG length) {
  buffer.fill(std::byte{0});
  const UniqueModule ntdll(LoadSystemLibrary(L"ntdll.dll"));
  if (!ntdll) {
    return false;
  }
  const FARPROC address = GetProcAddress(ntdll.get(), "NtQuerySystemInformation");
  if (address == nullptr) {
    return false;
  }
  const auto query = std::bit_cast<NtQuerySystemInformationFunction>(address);
  return query(informationClass, buffer.data(), length, nullptr) == 0;
}

RecordInt64 ReadInt64(const RecordBuffer& buffer, size_t offset) {
  RecordInt64 value;
  std::memcpy(&value.low, buffer.data() + offset, sizeof value.low);
  std::memcpy(&value.high, buffer.data() + offset + sizeof value.low, sizeof value.high);
  return value;
}

}  // namespace

std::optional<uint8_t> Win32ProcessorInfo::QueryNumberOfProcessors() {
  alignas(8) RecordBuffer buffer;
  if (!QuerySystemInformation(SystemBasicInformation, buffer, Layout.basicLength)) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(buffer[Layout.processorCountOffset]);
}

std::optional<RecordInt64> Win32ProcessorInfo::QuerySystemTime() {
  alignas(8) RecordBuffer buffer;
  if (!QuerySystemInformation(SystemTimeOfDayInformation, buffer, Layout.timeOfDayLength)) {
    return std::nullopt;
  }
  return ReadInt64(buffer, Layout.currentTimeOffset);
}

std::optional<RecordInt64> Win32ProcessorInfo::QueryIdleTime(PerformanceRecordLength length) {
  alignas(8) RecordBuffer buffer;
  const ULONG recordLength = length == PerformanceRecordLength::Long
                                 ? Layout.performanceLengthLong
                                 : Layout.performanceLengthShort;
  if (!QuerySystemInformation(SystemPerformanceInformation, buffer, recordLength)) {
    return std::nullopt;
  }
  return ReadInt64(buffer, Layout.idleTimeOffset);
}
