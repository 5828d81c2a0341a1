#pragma once
// The width of the pointer- and size-sized fields in a record that the kernel writes: 4 bytes in a
// 32-bit process (native on 32-bit Windows, or under WOW64), 8 in a 64-bit one.
#include <cstddef>

enum class RecordWidth : size_t { Bits32 = 4, Bits64 = 8 };

constexpr size_t BytesOf(RecordWidth width) {
  return static_cast<size_t>(width);
}

// The records a query gives this program, unless WOW64 stands between it and the kernel.
inline constexpr RecordWidth ThisProgramWidth =
    sizeof(void*) == 8 ? RecordWidth::Bits64 : RecordWidth::Bits32;
