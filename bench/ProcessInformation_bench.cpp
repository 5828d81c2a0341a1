// Cost of decoding the process snapshot in the portable core, per record: an answer of 300
// processes shaped like Windows' own (each record followed by its thread entries and its name),
// in the 32- and the 64-bit layout. The worker decodes two such answers per run.
#include <cstdio>
#include <string>
#include <vector>

#include "support/AllocationCounter.h"
#include "worker/ProcessInformation.h"

namespace {

constexpr uint32_t Count = 300;
constexpr uint32_t ThreadsEach = 12;

void Put(std::vector<std::byte>& bytes, size_t at, uint64_t value, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
  }
}

std::vector<std::byte> Answer(RecordWidth width, uint64_t address) {
  const ProcessRecordLayout l = ProcessRecordLayoutOf(width);
  const size_t pointer = BytesOf(width);
  const size_t threads = ThreadsEach * (width == RecordWidth::Bits64 ? 0x50 : 0x40);
  std::vector<std::byte> bytes;
  for (uint32_t i = 0; i < Count; ++i) {
    // The idle process has no name, as on Windows.
    const std::u16string name =
        i == 0 ? u""
               : u"application" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u".exe";
    const size_t at = bytes.size();
    const size_t nameAt = at + l.fixedSize + threads;
    const size_t size = (l.fixedSize + threads + name.size() * 2 + 2 + 7) / 8 * 8;
    bytes.resize(at + size);
    Put(bytes, at, i + 1 == Count ? 0 : size, 4);
    Put(bytes, at + l.processId, 8 + 4 * i, pointer);
    Put(bytes, at + l.parentId, 8, pointer);
    Put(bytes, at + l.createTime, 133000000000000000 + i, 8);
    Put(bytes, at + l.userTime, 1000 * i, 8);
    Put(bytes, at + l.workingSet, uint64_t{1 + i % 200} << 20, pointer);
    Put(bytes, at + l.basePriority, 8, 4);
    Put(bytes, at + l.imageNameLength, name.size() * 2, 2);
    Put(bytes, at + l.imageNameBuffer, address + nameAt, pointer);
    for (size_t c = 0; c < name.size(); ++c) {
      Put(bytes, nameAt + 2 * c, name[c], 2);
    }
  }
  return bytes;
}

}  // namespace

int main() {
  std::printf("process snapshot decoding, core only (%u processes, %u threads each)\n", Count,
              ThreadsEach);
  size_t decoded = 0;
  for (const RecordWidth width : {RecordWidth::Bits32, RecordWidth::Bits64}) {
    const uint64_t address = width == RecordWidth::Bits64 ? 0x7FF000010000 : 0x00410000;
    const std::vector<std::byte> answer = Answer(width, address);
    const std::string label =
        std::string("decode per record, ") + (width == RecordWidth::Bits64 ? "64" : "32") + "-bit";
    bench::Measure(
        label.c_str(), 2000, [&] { decoded = DecodeProcessRecords(answer, address, width).size(); },
        Count);
    if (decoded != Count) {
      std::printf("decoded %zu of %u records\n", decoded, Count);
      return 1;
    }
  }
  return 0;
}
