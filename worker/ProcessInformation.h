#pragma once
// The records of NtQuerySystemInformation(SystemProcessInformation), read without trusting them:
// one SYSTEM_PROCESS_INFORMATION per process, each naming the next by its offset from itself, the
// last by 0, each image name a pointer into the same answer.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "worker/ProcessRecord.h"
#include "worker/RecordWidth.h"

// Offsets of the fields read. The handle- and size-sized fields, and the pointer inside the image
// name, are 4 or 8 bytes wide, which moves every field after the name.
struct ProcessRecordLayout {
  size_t workingSetPrivateSize, hardFaultCount, cycleTime;
  size_t createTime, userTime, kernelTime;
  size_t imageNameLength, imageNameBuffer;
  size_t basePriority, processId, parentId;
  size_t pageFaultCount, workingSet;
  size_t fixedSize;  // the record without its thread entries: every record holds at least this
};

constexpr ProcessRecordLayout ProcessRecordLayoutOf(RecordWidth width) {
  if (width == RecordWidth::Bits64) {
    return {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x40, 0x48, 0x50, 0x58, 0x80, 0x90, 0x100};
  }
  return {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x3C, 0x40, 0x44, 0x48, 0x60, 0x68, 0xB8};
}

// The records of an answer that the kernel wrote at address `answerAddress` (the address the
// name pointers are relative to). A record that overruns the answer ends the walk; a name outside
// it stays empty; an offset that would step back or into the record itself ends the walk.
std::vector<ProcessRecord> DecodeProcessRecords(std::span<const std::byte> answer,
                                                uint64_t answerAddress, RecordWidth width);
