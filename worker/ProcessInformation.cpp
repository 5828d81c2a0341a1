#include "worker/ProcessInformation.h"

#include "foundation/base/LittleEndian.h"

namespace {

int64_t ReadInt64(const std::byte* at) {
  return static_cast<int64_t>(ReadLittleEndian(at, 8));
}

}  // namespace

std::vector<ProcessRecord> DecodeProcessRecords(std::span<const std::byte> answer,
                                                uint64_t answerAddress, RecordWidth width) {
  const ProcessRecordLayout layout = ProcessRecordLayoutOf(width);
  const size_t pointer = BytesOf(width);
  const size_t size = answer.size();
  std::vector<ProcessRecord> records;
  size_t at = 0;
  while (size - at >= layout.fixedSize) {
    const std::byte* r = answer.data() + at;
    ProcessRecord p;
    p.id = static_cast<uint32_t>(ReadLittleEndian(r + layout.processId, pointer));
    p.parentId = static_cast<uint32_t>(ReadLittleEndian(r + layout.parentId, pointer));
    p.creationTime = ReadInt64(r + layout.createTime);
    // Wrapped, never overflowed: times near the limit are corrupt anyway.
    p.processorTime = static_cast<int64_t>(static_cast<uint64_t>(ReadInt64(r + layout.userTime)) +
                                           static_cast<uint64_t>(ReadInt64(r + layout.kernelTime)));
    p.workingSet = ReadLittleEndian(r + layout.workingSet, pointer);
    p.privateWorkingSet = ReadLittleEndian(r + layout.workingSetPrivateSize, 8);
    p.cycleTime = ReadLittleEndian(r + layout.cycleTime, 8);
    p.pageFaults = static_cast<uint32_t>(ReadLittleEndian(r + layout.pageFaultCount, 4));
    p.hardFaults = static_cast<uint32_t>(ReadLittleEndian(r + layout.hardFaultCount, 4));
    p.basePriority = static_cast<int32_t>(ReadLittleEndian(r + layout.basePriority, 4));
    const size_t nameBytes = ReadLittleEndian(r + layout.imageNameLength, 2) & ~size_t{1};
    const uint64_t name = ReadLittleEndian(r + layout.imageNameBuffer, pointer);
    // The name lies in the same answer; one that does not is left empty rather than trusted.
    if (name >= answerAddress && name - answerAddress <= size &&
        nameBytes <= size - (name - answerAddress)) {
      const std::byte* text = answer.data() + (name - answerAddress);
      p.name.resize(nameBytes / 2);
      for (size_t i = 0; i < p.name.size(); ++i) {
        p.name[i] = static_cast<char16_t>(ReadLittleEndian(text + 2 * i, 2));
      }
    }
    records.push_back(std::move(p));
    const uint64_t next = ReadLittleEndian(r, 4);
    if (next < layout.fixedSize || next > size - at) {
      break;
    }
    at += next;
  }
  return records;
}
