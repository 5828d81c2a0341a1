#pragma once
// The running program's own RT_RCDATA resources and the system's ANSI code page.
#include "foundation/ResourcePort.h"

class Win32Resources : public ResourcePort {
 public:
  std::optional<std::vector<std::byte>> LoadRawData(std::u16string_view name) override;
  std::u16string DecodeAnsi(std::span<const std::byte> bytes) override;
};
