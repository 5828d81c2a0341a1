#pragma once
// The program's own raw-data resources and the system's ANSI code page.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class ResourcePort {
 public:
  virtual ~ResourcePort() = default;

  // The bytes of the program's RT_RCDATA resource of that name (matched without regard to case),
  // or nothing when there is none.
  virtual std::optional<std::vector<std::byte>> LoadRawData(std::u16string_view name) = 0;

  // Text in the system's ANSI code page, as MultiByteToWideChar(CP_ACP) reads it.
  virtual std::u16string DecodeAnsi(std::span<const std::byte> bytes) = 0;
};
