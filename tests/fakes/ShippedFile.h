#pragma once
// The bytes of a file shipped from resources/ (the language files), read from the source tree so
// that tests see exactly what the programs embed. A missing file reads as empty, which the
// tests' own expectations then reject.
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

inline std::vector<std::byte> ReadShippedFile(const char* name) {
  const auto path = std::filesystem::path(__FILE__).parent_path() / "../../resources" / name;
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> chars((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::vector<std::byte> bytes(chars.size());
  for (size_t i = 0; i < chars.size(); ++i) {
    bytes[i] = static_cast<std::byte>(chars[i]);
  }
  return bytes;
}
