#include "worker/win32/Win32SystemMemory.h"

#include <algorithm>
#include <array>
#include <span>

#include "foundation/base/win32/SystemInformationQuery.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "worker/MemoryListInformation.h"
#include "worker/win32/Win32Wow64.h"

namespace {

constexpr ULONG SystemMemoryListInformation = 80;
constexpr ULONG MemoryFlushModifiedList = 3;
constexpr auto Lengths = MemoryListLengths(ThisProgramWidth);

}  // namespace

Win32SystemMemory::Win32SystemMemory()
    : kernel32_(LoadOwnedSystemLibrary(L"kernel32.dll")),
      ntdll_(LoadOwnedSystemLibrary(L"ntdll.dll")),
      setCacheSize_(BindFunction<SetCacheSize>(kernel32_.get(), "SetSystemFileCacheSize")),
      set_(BindFunction<SetFunction>(ntdll_.get(), "NtSetSystemInformation")),
      trusted_(!RunsUnderWow64()) {}

bool Win32SystemMemory::TrimFileCache() {
  return setCacheSize_ != nullptr &&
         setCacheSize_(static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1), 0);
}

std::optional<int64_t> Win32SystemMemory::ModifiedListBytes() {
  if (!trusted_) {
    return std::nullopt;
  }
  alignas(8) std::array<std::byte, Lengths[0]> row{};
  std::optional<uint64_t> pages;
  // The longest record first; a system that wants exactly its own length refuses it and is asked
  // with the next.
  for (const uint32_t length : Lengths) {
    const QueryAnswer answer =
        QuerySystemInformation(SystemMemoryListInformation, std::span(row).first(length));
    if (answer.status == 0) {
      pages = ModifiedPageCountOf(std::span(row).first(std::min(answer.wantedLength, length)),
                                  ThisProgramWidth);
      break;
    }
    if (answer.status != StatusInfoLengthMismatch) {
      break;
    }
  }
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  if (!pages || system.dwPageSize == 0 || *pages > INT64_MAX / system.dwPageSize) {
    return std::nullopt;
  }
  return static_cast<int64_t>(*pages * system.dwPageSize);
}

bool Win32SystemMemory::FlushModifiedList() {
  ULONG command = MemoryFlushModifiedList;
  return set_ != nullptr && set_(SystemMemoryListInformation, &command, sizeof command) == 0;
}
