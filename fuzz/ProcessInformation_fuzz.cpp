// The answers of NtQuerySystemInformation the worker decodes: the process records and the memory
// list counts. The first byte picks the width (its low bit: 64-bit), the rest is the answer as
// the kernel would have written it at a fixed address. Besides not crashing: records never
// overlap, so there are no more of them than fixed parts fit in the answer, and no name is longer
// than the answer.
#include "fuzz/FuzzSupport.h"
#include "worker/MemoryListInformation.h"
#include "worker/ProcessInformation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const RecordWidth width = (data[0] & 1) != 0 ? RecordWidth::Bits64 : RecordWidth::Bits32;
  const uint64_t address = width == RecordWidth::Bits64 ? 0x7FF000010000 : 0x00410000;
  const auto answer = AsBytes(std::span(data + 1, size - 1));

  const auto records = DecodeProcessRecords(answer, address, width);
  FUZZ_CHECK(records.size() <= answer.size() / ProcessRecordLayoutOf(width).fixedSize);
  for (const ProcessRecord& record : records) {
    FUZZ_CHECK(record.name.size() * 2 <= answer.size());
  }
  // The same bytes read at the other width must be as safe.
  const RecordWidth other =
      width == RecordWidth::Bits64 ? RecordWidth::Bits32 : RecordWidth::Bits64;
  FUZZ_CHECK(DecodeProcessRecords(answer, address, other).size() <=
             answer.size() / ProcessRecordLayoutOf(other).fixedSize);

  const auto modified = ModifiedPageCountOf(answer, width);
  FUZZ_CHECK(modified.has_value() ==
             (answer.size() >= (ModifiedPageCountIndex + 1) * BytesOf(width)));
  return 0;
}
