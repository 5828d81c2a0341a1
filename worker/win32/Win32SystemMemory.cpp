#include "worker/win32/Win32SystemMemory.h"

#include <array>
#include <cstring>

#include "foundation/win32/SystemLibrary.h"

namespace {

constexpr ULONG SystemMemoryListInformation = 80;
constexpr ULONG MemoryFlushModifiedList = 3;

// SYSTEM_MEMORY_LIST_INFORMATION is a row of pointer-sized page counts: zeroed, free, modified,
// ... 20 of them up to Windows 7, 21 since. Whether a 32-bit process under WOW64 is given 4- or
// 8-byte counts is not documented, so the length the kernel reports tells which row it wrote; any
// other length is not trusted.
constexpr size_t ModifiedPageCountIndex = 2;
constexpr size_t LongestRowBytes = 21 * 8;

}  // namespace

Win32SystemMemory::Win32SystemMemory()
    : kernel32_(LoadOwnedSystemLibrary(L"kernel32.dll")),
      ntdll_(LoadOwnedSystemLibrary(L"ntdll.dll")),
      setCacheSize_(BindFunction<SetCacheSize>(kernel32_.get(), "SetSystemFileCacheSize")),
      query_(BindFunction<QueryFunction>(ntdll_.get(), "NtQuerySystemInformation")),
      set_(BindFunction<SetFunction>(ntdll_.get(), "NtSetSystemInformation")) {}

bool Win32SystemMemory::TrimFileCache() {
  return setCacheSize_ != nullptr &&
         setCacheSize_(static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1), 0);
}

std::optional<int64_t> Win32SystemMemory::ModifiedListBytes() {
  if (query_ == nullptr) {
    return std::nullopt;
  }
  alignas(8) std::array<std::byte, LongestRowBytes> row{};
  ULONG length = 0;
  if (query_(SystemMemoryListInformation, row.data(), static_cast<ULONG>(row.size()), &length) !=
      0) {
    return std::nullopt;
  }
  uint64_t pages = 0;
  if (length == 20 * 8 || length == 21 * 8) {
    std::memcpy(&pages, row.data() + ModifiedPageCountIndex * 8, 8);
  } else if (length == 20 * 4 || length == 21 * 4) {
    uint32_t pages32 = 0;
    std::memcpy(&pages32, row.data() + ModifiedPageCountIndex * 4, 4);
    pages = pages32;
  } else {
    return std::nullopt;
  }
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  if (system.dwPageSize == 0 || pages > INT64_MAX / system.dwPageSize) {
    return std::nullopt;
  }
  return static_cast<int64_t>(pages * system.dwPageSize);
}

bool Win32SystemMemory::FlushModifiedList() {
  ULONG command = MemoryFlushModifiedList;
  return set_ != nullptr && set_(SystemMemoryListInformation, &command, sizeof command) == 0;
}
