#pragma once
// Windows stores numbers little-endian in the registry and in the records the system hands out,
// whatever the host: one reader and one writer for all of them.
#include <array>
#include <cstddef>
#include <cstdint>

// The unsigned number in the first `bytes` bytes at `at` (at most 8).
inline uint64_t ReadLittleEndian(const std::byte* at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) {
    value |= uint64_t{std::to_integer<uint8_t>(at[i])} << (8 * i);
  }
  return value;
}

// The low N bytes of `value`.
template <size_t N>
std::array<std::byte, N> LittleEndianBytes(uint64_t value) {
  std::array<std::byte, N> bytes{};
  for (size_t i = 0; i < N; ++i) {
    bytes[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
  }
  return bytes;
}
