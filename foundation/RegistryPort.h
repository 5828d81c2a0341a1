#pragma once
// The registry as the settings store needs it: one value's type and bytes, one value written.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

enum class RegistryRoot : uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
};

namespace RegType {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t Sz = 1;
inline constexpr uint32_t ExpandSz = 2;
inline constexpr uint32_t Binary = 3;
inline constexpr uint32_t Dword = 4;
inline constexpr uint32_t MultiSz = 7;
inline constexpr uint32_t Qword = 11;
}  // namespace RegType

struct RegistryQuery {
  enum class Status {
    Ok,        // type and size are set; size bytes of the buffer hold the data
    MoreData,  // type and size are set (size is what the value needs); the buffer holds nothing
    Failed,    // key or value missing, access refused, or any other error
  };
  Status status = Status::Failed;
  uint32_t type = RegType::None;
  uint32_t size = 0;
};

// One key held open for a run of queries; closed when destroyed.
class RegistryKeyPort {
 public:
  virtual ~RegistryKeyPort() = default;
  // Queries one value of the open key into buffer, as RegistryPort::QueryValue does.
  virtual RegistryQuery QueryValue(std::u16string_view name, std::span<std::byte> buffer) = 0;
};

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;

  // Opens root\path with the right to query values (never creating it), queries one value into
  // buffer, closes the key. path may start with a backslash: it is taken as absolute from the root.
  virtual RegistryQuery QueryValue(RegistryRoot root, std::u16string_view path,
                                   std::u16string_view name, std::span<std::byte> buffer) = 0;

  // Opens root\path with the right to set values and nothing more; only when the key is missing,
  // creates it with every missing key on the way. Sets one value and closes the key. False on any
  // failure (a caller who may not create the key included); the registry is then as it was.
  virtual bool SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                        uint32_t type, std::span<const std::byte> data) = 0;

  // Opens root\path in the 64-bit view, which 32- and 64-bit programs share (32-bit Windows has
  // only the one view), with the right to query values and nothing more, never creating it. Null
  // when the key cannot be opened. A registry that holds no such key keeps this default.
  virtual std::unique_ptr<RegistryKeyPort> OpenQueryKey64(RegistryRoot /*root*/,
                                                          std::u16string_view /*path*/) {
    return nullptr;
  }
};
