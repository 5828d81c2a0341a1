#pragma once
// Raw-data resources held in memory; the ANSI code page is taken as Windows-1252's Latin-1 range
// (each byte one character), which is all that the tests need.
#include <map>
#include <string>
#include <vector>

#include "foundation/ResourcePort.h"
#include "foundation/base/Text.h"

class FakeResources : public ResourcePort {
 public:
  std::map<std::u16string, std::vector<std::byte>> resources;  // by lower-case name
  std::vector<std::u16string> loads;                           // names asked for, as given

  std::optional<std::vector<std::byte>> LoadRawData(std::u16string_view name) override {
    loads.emplace_back(name);
    auto found = resources.find(LowerAscii(name));
    if (found == resources.end()) {
      return std::nullopt;
    }
    return found->second;
  }

  std::u16string DecodeAnsi(std::span<const std::byte> bytes) override {
    std::u16string text;
    for (std::byte b : bytes) {
      text.push_back(static_cast<char16_t>(std::to_integer<unsigned>(b)));
    }
    return text;
  }

  void Put(std::u16string_view name, std::vector<std::byte> bytes) {
    resources[LowerAscii(name)] = std::move(bytes);
  }
  // 8-bit text, one byte per character (characters up to 0xFF).
  void PutAnsi(std::u16string_view name, std::u16string_view text) {
    std::vector<std::byte> bytes;
    for (char16_t c : text) {
      bytes.push_back(static_cast<std::byte>(c));
    }
    Put(name, std::move(bytes));
  }
  // UTF-16LE with the byte-order mark FF FE.
  void PutUtf16(std::u16string_view name, std::u16string_view text) {
    std::vector<std::byte> bytes{std::byte{0xFF}, std::byte{0xFE}};
    for (char16_t c : text) {
      bytes.push_back(static_cast<std::byte>(c & 0xFF));
      bytes.push_back(static_cast<std::byte>(c >> 8));
    }
    Put(name, std::move(bytes));
  }
};
