#pragma once
#include "foundation/RegistryPort.h"

// The settings store's view of the real registry. Paths given with a leading backslash are opened
// relative to the root, which is what the leading backslash means. Every key is opened in the
// 32-bit registry view, whatever the build, except the keys of OpenQueryKey64.
class Win32Registry : public RegistryPort {
 public:
  RegistryQuery QueryValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                           std::span<std::byte> buffer) override;
  bool SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                uint32_t type, std::span<const std::byte> data) override;
  std::unique_ptr<RegistryKeyPort> OpenQueryKey64(RegistryRoot root,
                                                  std::u16string_view path) override;
};
