#include "worker/win32/Win32ProcessSnapshot.h"

#include <winternl.h>

#include <cstddef>
#include <algorithm>
#include <cstring>

#include "foundation/win32/SystemLibrary.h"

namespace {

// SYSTEM_PROCESS_INFORMATION, the fields we read, at their offsets in this build's record. A
// 32-bit process under WOW64 is given the 32-bit record. The handle-sized fields (image name
// pointer, ids, sizes) move the later fields on in the 64-bit one.
struct RecordLayout {
  size_t createTime, userTime, kernelTime;
  size_t imageNameLength, imageNameBuffer;
  size_t basePriority, processId, parentId;
  size_t workingSet;
  size_t minimumSize;  // a record must hold at least this much
};
#if defined(_WIN64)
constexpr RecordLayout Layout{0x20, 0x28, 0x30, 0x38, 0x40, 0x48, 0x50, 0x58, 0x90, 0x98};
#else
constexpr RecordLayout Layout{0x20, 0x28, 0x30, 0x38, 0x3C, 0x40, 0x44, 0x48, 0x68, 0x6C};
#endif
// The SDK's partial record agrees on every field both name.
static_assert(Layout.createTime == offsetof(SYSTEM_PROCESS_INFORMATION, CreateTime));
static_assert(Layout.kernelTime == offsetof(SYSTEM_PROCESS_INFORMATION, KernelTime));
static_assert(Layout.imageNameBuffer ==
              offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) + offsetof(UNICODE_STRING, Buffer));
static_assert(Layout.processId == offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId));
static_assert(Layout.parentId ==
              offsetof(SYSTEM_PROCESS_INFORMATION, InheritedFromUniqueProcessId));
static_assert(Layout.workingSet == offsetof(SYSTEM_PROCESS_INFORMATION, VirtualMemoryCounters) +
                                       offsetof(VM_COUNTERS, WorkingSetSize));

constexpr ULONG ProcessInformationClass = 5;  // SystemProcessInformation
constexpr LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t FirstBufferBytes = 256 * 1024;
// A machine with tens of thousands of threads needs a few MiB; beyond this something is wrong.
constexpr size_t LargestBufferBytes = 64 * 1024 * 1024;
constexpr int QueryAttempts = 8;

template <class T>
T Read(const std::byte* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

// The records as the kernel left them: each names the next by offset, the last by 0. Every read
// stays inside the bytes the query filled.
std::vector<ProcessRecord> Walk(const std::byte* data, size_t size) {
  std::vector<ProcessRecord> records;
  size_t at = 0;
  while (size - at >= Layout.minimumSize) {
    const std::byte* r = data + at;
    ProcessRecord p;
    p.id = static_cast<uint32_t>(Read<ULONG_PTR>(r, Layout.processId));
    p.parentId = static_cast<uint32_t>(Read<ULONG_PTR>(r, Layout.parentId));
    p.creationTime = Read<int64_t>(r, Layout.createTime);
    p.processorTime = Read<int64_t>(r, Layout.userTime) + Read<int64_t>(r, Layout.kernelTime);
    p.workingSet = Read<SIZE_T>(r, Layout.workingSet);
    p.basePriority = Read<LONG>(r, Layout.basePriority);
    const auto nameBytes = Read<USHORT>(r, Layout.imageNameLength);
    const auto name = reinterpret_cast<uintptr_t>(Read<PWSTR>(r, Layout.imageNameBuffer));
    const auto begin = reinterpret_cast<uintptr_t>(data);
    // The name lies in the same buffer; one that does not is left empty rather than trusted.
    if (name >= begin && name <= begin + size && nameBytes <= begin + size - name) {
      p.name.resize(nameBytes / 2);
      std::memcpy(p.name.data(), data + (name - begin), p.name.size() * 2);
    }
    records.push_back(std::move(p));
    const ULONG next = Read<ULONG>(r, 0);
    if (next == 0 || next > size - at) {
      break;
    }
    at += next;
  }
  return records;
}

}  // namespace

Win32ProcessSnapshot::Win32ProcessSnapshot()
    : ntdll_(LoadOwnedSystemLibrary(L"ntdll.dll")),
      query_(BindFunction<QueryFunction>(ntdll_.get(), "NtQuerySystemInformation")) {}

std::optional<std::vector<ProcessRecord>> Win32ProcessSnapshot::TakeSnapshot() {
  if (query_ == nullptr) {
    return std::nullopt;
  }
  if (buffer_.empty()) {
    buffer_.resize(FirstBufferBytes / sizeof(uint64_t));
  }
  for (int attempt = 0; attempt < QueryAttempts; ++attempt) {
    const size_t bytes = buffer_.size() * sizeof(uint64_t);
    ULONG needed = 0;
    const LONG status =
        query_(ProcessInformationClass, buffer_.data(), static_cast<ULONG>(bytes), &needed);
    if (status == 0) {
      return Walk(reinterpret_cast<const std::byte*>(buffer_.data()),
                  needed != 0 && needed <= bytes ? needed : bytes);
    }
    if (status != StatusInfoLengthMismatch || bytes >= LargestBufferBytes) {
      return std::nullopt;
    }
    // Processes start between two queries: ask for more than the last answer said.
    size_t grown = std::max<size_t>(bytes * 2, size_t{needed} + size_t{needed} / 4);
    grown = std::min(grown, LargestBufferBytes);
    buffer_.resize((grown + sizeof(uint64_t) - 1) / sizeof(uint64_t));
  }
  return std::nullopt;
}
