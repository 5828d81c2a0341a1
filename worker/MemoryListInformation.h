#pragma once
// The answer of NtQuerySystemInformation(SystemMemoryListInformation): SYSTEM_MEMORY_LIST_
// INFORMATION, a row of pointer-sized page counts. Windows 7 writes 21 of them; Windows 8 added
// ModifiedPageCountPageFile at the end, so 8 to 11 write 22.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "worker/RecordWidth.h"

inline constexpr size_t MemoryListCountsWindows7 = 21;
inline constexpr size_t MemoryListCountsWindows8 = 22;
// ZeroPageCount, FreePageCount, ModifiedPageCount, ...
inline constexpr size_t ModifiedPageCountIndex = 2;

// The lengths to ask with, longest first: the record of Windows 8 to 11, then Windows 7's.
constexpr std::array<uint32_t, 2> MemoryListLengths(RecordWidth width) {
  return {static_cast<uint32_t>(MemoryListCountsWindows8 * BytesOf(width)),
          static_cast<uint32_t>(MemoryListCountsWindows7 * BytesOf(width))};
}

// Pages on the modified list, from the bytes the kernel says it wrote; nothing when they do not
// reach the count.
std::optional<uint64_t> ModifiedPageCountOf(std::span<const std::byte> written, RecordWidth width);
