#include "worker/win32/Win32ProcessSnapshot.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <span>

#include "foundation/base/win32/SystemInformationQuery.h"
#include "worker/ProcessInformation.h"
#include "worker/win32/Win32Wow64.h"

namespace {

// The SDK's partial record agrees with this build's layout on every field both name.
constexpr ProcessRecordLayout Layout = ProcessRecordLayoutOf(ThisProgramWidth);
static_assert(Layout.createTime == offsetof(SYSTEM_PROCESS_INFORMATION, CreateTime));
static_assert(Layout.kernelTime == offsetof(SYSTEM_PROCESS_INFORMATION, KernelTime));
static_assert(Layout.imageNameLength == offsetof(SYSTEM_PROCESS_INFORMATION, ImageName));
static_assert(Layout.imageNameBuffer ==
              offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) + offsetof(UNICODE_STRING, Buffer));
static_assert(Layout.basePriority == offsetof(SYSTEM_PROCESS_INFORMATION, BasePriority));
static_assert(Layout.processId == offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId));
static_assert(Layout.parentId ==
              offsetof(SYSTEM_PROCESS_INFORMATION, InheritedFromUniqueProcessId));
static_assert(Layout.workingSet == offsetof(SYSTEM_PROCESS_INFORMATION, VirtualMemoryCounters) +
                                       offsetof(VM_COUNTERS, WorkingSetSize));

constexpr uint32_t ProcessInformationClass = 5;  // SystemProcessInformation
constexpr uint32_t FirstBufferBytes = 256 * 1024;
// A machine with tens of thousands of threads needs a few MiB; beyond this something is wrong.
constexpr uint32_t LargestBufferBytes = 64 * 1024 * 1024;

}  // namespace

Win32ProcessSnapshot::Win32ProcessSnapshot() : trusted_(!RunsUnderWow64()) {}

std::optional<std::vector<ProcessRecord>> Win32ProcessSnapshot::TakeSnapshot() {
  if (!trusted_) {
    return std::nullopt;
  }
  uint32_t written = 0;
  const uint32_t first =
      std::max(FirstBufferBytes, static_cast<uint32_t>(buffer_.size() * sizeof(uint64_t)));
  const auto length = QueryGrowing(
      first, LargestBufferBytes,
      [&](uint32_t bytes) {
        buffer_.resize((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t));
        const QueryAnswer answer = QuerySystemInformation(
            ProcessInformationClass, std::as_writable_bytes(std::span(buffer_)).first(bytes));
        written = answer.wantedLength;
        return answer;
      },
      Headroom::Quarter);
  if (!length) {
    return std::nullopt;
  }
  const auto answer =
      std::as_bytes(std::span(buffer_)).first(written != 0 ? std::min(written, *length) : *length);
  return DecodeProcessRecords(answer, reinterpret_cast<uintptr_t>(answer.data()), ThisProgramWidth);
}
