#pragma once
// Helpers shared by the fuzz targets: turning the fuzzer's bytes into text and stopping loudly
// when a property that must hold for every input does not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

// A broken property is a finding like a crash: libFuzzer saves the input that led to it.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

// Each byte one character: reaches the ASCII texts that names and numbers are made of.
inline std::u16string TextFromBytes(std::span<const uint8_t> bytes) {
  return std::u16string(bytes.begin(), bytes.end());
}

// Pairs of bytes as UTF-16LE units (an odd last byte dropped): reaches every character.
inline std::u16string Utf16FromBytes(std::span<const uint8_t> bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return text;
}

inline std::span<const std::byte> AsBytes(std::span<const uint8_t> bytes) {
  return std::as_bytes(bytes);
}
