// The records of NtQuerySystemInformation as the kernel lays them out, written out field by field
// from the SDK's and the public native headers' definitions, against the worker's tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "worker/MemoryListInformation.h"
#include "worker/ProcessInformation.h"

namespace {

constexpr size_t P = 0;  // a pointer- or size-sized field: ULONG_PTR, SIZE_T, HANDLE, PWSTR

// SYSTEM_PROCESS_INFORMATION without its thread entries, each field at its natural alignment.
struct Field {
  const char* name;
  size_t bytes;
};
constexpr Field ProcessFields[] = {
    {"NextEntryOffset", 4},
    {"NumberOfThreads", 4},
    {"WorkingSetPrivateSize", 8},
    {"HardFaultCount", 4},
    {"NumberOfThreadsHighWatermark", 4},
    {"CycleTime", 8},
    {"CreateTime", 8},
    {"UserTime", 8},
    {"KernelTime", 8},
    {"ImageName.Length", 2},
    {"ImageName.MaximumLength", 2},
    {"ImageName.Buffer", P},
    {"BasePriority", 4},
    {"UniqueProcessId", P},
    {"InheritedFromUniqueProcessId", P},
    {"HandleCount", 4},
    {"SessionId", 4},
    {"UniqueProcessKey", P},
    {"PeakVirtualSize", P},
    {"VirtualSize", P},
    {"PageFaultCount", 4},
    {"PeakWorkingSetSize", P},
    {"WorkingSetSize", P},
    {"QuotaPeakPagedPoolUsage", P},
    {"QuotaPagedPoolUsage", P},
    {"QuotaPeakNonPagedPoolUsage", P},
    {"QuotaNonPagedPoolUsage", P},
    {"PagefileUsage", P},
    {"PeakPagefileUsage", P},
    {"PrivatePageCount", P},
    {"ReadOperationCount", 8},
    {"WriteOperationCount", 8},
    {"OtherOperationCount", 8},
    {"ReadTransferCount", 8},
    {"WriteTransferCount", 8},
    {"OtherTransferCount", 8},
};

struct Placed {
  size_t offset, bytes;
};

Placed Place(RecordWidth width, std::string_view name) {
  size_t at = 0;
  for (const Field& f : ProcessFields) {
    const size_t bytes = f.bytes == P ? BytesOf(width) : f.bytes;
    at = (at + bytes - 1) / bytes * bytes;
    if (name == f.name) {
      return {at, bytes};
    }
    at += bytes;
  }
  return {(at + 7) / 8 * 8, 0};  // the record's size, as the next field would start
}

TEST(ProcessRecordLayout, AgreesWithTheWrittenOutRecord) {
  for (const RecordWidth w : {RecordWidth::Bits32, RecordWidth::Bits64}) {
    const ProcessRecordLayout l = ProcessRecordLayoutOf(w);
    const std::pair<size_t, const char*> fields[] = {
        {l.createTime, "CreateTime"},
        {l.userTime, "UserTime"},
        {l.kernelTime, "KernelTime"},
        {l.imageNameLength, "ImageName.Length"},
        {l.imageNameBuffer, "ImageName.Buffer"},
        {l.basePriority, "BasePriority"},
        {l.processId, "UniqueProcessId"},
        {l.parentId, "InheritedFromUniqueProcessId"},
        {l.workingSet, "WorkingSetSize"},
        {l.workingSetPrivateSize, "WorkingSetPrivateSize"},
        {l.hardFaultCount, "HardFaultCount"},
        {l.cycleTime, "CycleTime"},
        {l.pageFaultCount, "PageFaultCount"},
        {l.fixedSize, "(end)"},
    };
    for (const auto& [offset, name] : fields) {
      EXPECT_EQ(offset, Place(w, name).offset) << name << " at " << BytesOf(w);
    }
  }
  EXPECT_EQ(ProcessRecordLayoutOf(RecordWidth::Bits64).fixedSize, 0x100u);
  EXPECT_EQ(ProcessRecordLayoutOf(RecordWidth::Bits32).fixedSize, 0xB8u);
}

// An answer as the kernel writes it at an address of the width's range: records one after
// another, each followed by its name, the next-entry offsets chained.
constexpr uint64_t BaseOf(RecordWidth width) {
  return width == RecordWidth::Bits64 ? 0x7FF0'0000'1000 : 0x0041'2000;
}

struct Answer {
  RecordWidth width;
  std::vector<std::byte> bytes;
  size_t last = 0;

  void Put(size_t at, uint64_t value, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
    }
  }
  void Set(size_t record, const char* field, uint64_t value) {
    const Placed p = Place(width, field);
    Put(record + p.offset, value, p.bytes);
  }
  // Returns the record's offset.
  size_t Add(uint32_t id, std::u16string_view name, uint64_t workingSet) {
    const size_t at = bytes.size();
    const size_t fixed = Place(width, "(end)").offset;
    bytes.resize(at + fixed + (name.size() * 2 + 7) / 8 * 8);
    if (at != 0) {
      Set(last, "NextEntryOffset", at - last);
    }
    last = at;
    Set(at, "UniqueProcessId", id);
    Set(at, "InheritedFromUniqueProcessId", id - 1);
    Set(at, "CreateTime", 1000 + id);
    Set(at, "UserTime", 30);
    Set(at, "KernelTime", 12);
    Set(at, "BasePriority", 8);
    Set(at, "WorkingSetSize", workingSet);
    Set(at, "WorkingSetPrivateSize", workingSet / 2);
    Set(at, "CycleTime", 0x1'0000'0000ull + id);
    Set(at, "PageFaultCount", 0xFFFF'0000u + id);
    Set(at, "HardFaultCount", 7);
    Set(at, "ImageName.Length", name.size() * 2);
    Set(at, "ImageName.Buffer", name.empty() ? 0 : BaseOf(width) + at + fixed);
    for (size_t i = 0; i < name.size(); ++i) {
      Put(at + fixed + 2 * i, name[i], 2);
    }
    return at;
  }
  std::vector<ProcessRecord> Decode() const {
    return DecodeProcessRecords(bytes, BaseOf(width), width);
  }
};

std::vector<std::u16string> Names(const std::vector<ProcessRecord>& records) {
  std::vector<std::u16string> names;
  for (const auto& r : records) {
    names.push_back(r.name);
  }
  return names;
}

TEST(DecodeProcessRecords, WalksWhatTheAnswerHoldsAndNoFurther) {
  using Names_ = std::vector<std::u16string>;
  struct Case {
    const char* what;
    void (*spoil)(Answer&, size_t second);
    Names_ names;
  };
  const Case cases[] = {
      {"as written", [](Answer&, size_t) {}, {u"", u"explorer.exe", u"game.exe"}},
      {"name outside the answer",
       [](Answer& a, size_t s) { a.Set(s, "ImageName.Buffer", 8); },
       {u"", u"", u"game.exe"}},
      {"name running past the end",
       [](Answer& a, size_t s) { a.Set(s, "ImageName.Length", a.bytes.size()); },
       {u"", u"", u"game.exe"}},
      {"next offset beyond the end",
       [](Answer& a, size_t s) { a.Set(s, "NextEntryOffset", a.bytes.size()); },
       {u"", u"explorer.exe"}},
      {"next offset into the record itself",
       [](Answer& a, size_t s) { a.Set(s, "NextEntryOffset", 8); },
       {u"", u"explorer.exe"}},
      {"last record cut short",
       [](Answer& a, size_t) { a.bytes.resize(a.last + 0x40); },
       {u"", u"explorer.exe"}},
      {"odd name length drops the half character",
       [](Answer& a, size_t s) { a.Set(s, "ImageName.Length", 5); },
       {u"", u"ex", u"game.exe"}},
  };
  for (const RecordWidth w : {RecordWidth::Bits32, RecordWidth::Bits64}) {
    for (const Case& c : cases) {
      Answer a{w, {}};
      a.Add(0, u"", 8192);
      const size_t second = a.Add(1234, u"explorer.exe", 90 * 1024 * 1024);
      a.Add(5678, u"game.exe", w == RecordWidth::Bits64 ? 0x2'4000'0000 : 0xF000'0000);
      c.spoil(a, second);
      const auto records = a.Decode();
      EXPECT_EQ(Names(records), c.names) << c.what << " at " << BytesOf(w);
      if (records.size() >= 2) {
        EXPECT_EQ(records[1].id, 1234u);
        EXPECT_EQ(records[1].parentId, 1233u);
        EXPECT_EQ(records[1].creationTime, 2234);
        EXPECT_EQ(records[1].processorTime, 42);
        EXPECT_EQ(records[1].basePriority, 8);
        EXPECT_EQ(records[1].workingSet, 90u * 1024 * 1024);
        EXPECT_EQ(records[1].privateWorkingSet, 45u * 1024 * 1024);
        EXPECT_EQ(records[1].cycleTime, 0x1'0000'04D2u);
        EXPECT_EQ(records[1].pageFaults, 0xFFFF'0000u + 1234);
        EXPECT_EQ(records[1].hardFaults, 7u);
      }
      if (records.size() == 3) {
        // Above 4 GB in the 64-bit record: the size a WOW64 record cannot hold.
        EXPECT_EQ(records[2].workingSet, w == RecordWidth::Bits64 ? 0x2'4000'0000u : 0xF000'0000u);
      }
    }
  }
  EXPECT_TRUE(DecodeProcessRecords({}, 0, RecordWidth::Bits64).empty());
}

// SYSTEM_MEMORY_LIST_INFORMATION, every field a ULONG_PTR: ZeroPageCount, FreePageCount,
// ModifiedPageCount, ModifiedNoWritePageCount, BadPageCount, PageCountByPriority[8],
// RepurposedPagesByPriority[8] (21 counts, Windows 7), then ModifiedPageCountPageFile (22,
// Windows 8 to 11).
TEST(MemoryListInformation, LengthsAndTheModifiedCountForEachVersionAndWidth) {
  struct Case {
    RecordWidth width;
    size_t counts;
    uint32_t length;
  };
  const Case cases[] = {
      {RecordWidth::Bits64, 22, 176},
      {RecordWidth::Bits64, 21, 168},
      {RecordWidth::Bits32, 22, 88},
      {RecordWidth::Bits32, 21, 84},
  };
  for (const Case& c : cases) {
    const size_t w = BytesOf(c.width);
    EXPECT_EQ(c.counts * w, c.length);
    const auto lengths = MemoryListLengths(c.width);
    EXPECT_EQ(lengths[c.counts == 22 ? 0 : 1], c.length);
    std::vector<std::byte> row(c.length);
    const uint64_t modified = w == 8 ? 0x1'2345'6789 : 0x8765'4321;
    for (size_t i = 0; i < c.counts; ++i) {
      const uint64_t value = i == 2 ? modified : 1000 + i;
      std::memcpy(row.data() + i * w, &value, w);  // little-endian host and target
    }
    EXPECT_EQ(ModifiedPageCountOf(row, c.width), modified) << c.length;
    EXPECT_EQ(ModifiedPageCountOf(std::span(row).first(3 * w), c.width), modified) << c.length;
    EXPECT_EQ(ModifiedPageCountOf(std::span(row).first(3 * w - 1), c.width), std::nullopt);
  }
}

}  // namespace
