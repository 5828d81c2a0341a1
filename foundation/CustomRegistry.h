#pragma once
// The settings store. Every use opens the key, reads or writes one value and closes it again, so a
// change made by another program counts at the next read. The read and write operations report no
// failure: reads fall back to their defaults, writes leave the registry as it was. A program that
// must tell its user about a refused write uses the TryWrite operations, which say whether Windows
// took the value; the absorbing writes are those with the answer dropped.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Constants.h"
#include "foundation/RegistryPort.h"

class CustomRegistry {
 public:
  explicit CustomRegistry(RegistryPort& port) : port_(port) {}
  CustomRegistry(const CustomRegistry&) = delete;
  CustomRegistry& operator=(const CustomRegistry&) = delete;
  ~CustomRegistry();

  // A value of the policy key, as the administrator must store it, else nothing: a number is
  // REG_DWORD of exactly 4 bytes; a text is REG_SZ or REG_EXPAND_SZ (unexpanded), up to its first
  // NUL, not empty. Within a PolicyReadBatch the key is opened once for all reads.
  std::optional<int32_t> ReadPolicyDword(std::u16string_view name) const;
  std::optional<std::u16string> ReadPolicyString(std::u16string_view name) const;

  // A string: REG_SZ or REG_EXPAND_SZ (unexpanded), up to its first NUL, not empty.
  std::u16string ReadSettingString(RegistryRoot root, std::u16string_view path,
                                   std::u16string_view name, std::u16string_view fallback) const;
  // An integer: REG_DWORD of at most 4 bytes, as a signed 32-bit number.
  int32_t ReadSettingInteger(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                             int32_t fallback) const;
  // A 64-bit number: REG_QWORD of at most 8 bytes.
  int64_t ReadSettingQword(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                           int64_t fallback) const;
  // A number of a record whose writer always writes whole values: REG_DWORD of exactly 4 bytes or
  // REG_QWORD of exactly 8, else nothing.
  std::optional<uint64_t> ReadExactNumber(RegistryRoot root, std::u16string_view path,
                                          std::u16string_view name, uint32_t type) const;
  // The registry underneath, for the records that are not settings (LastRelease).
  RegistryPort& Port() const { return port_; }
  // A boolean: as an integer, true when not 0.
  bool ReadSettingBool(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                       bool fallback) const;
  // REG_SZ with its terminating NUL.
  void WriteSettingString(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                          std::u16string_view value) const;
  // REG_DWORD 1 or 0.
  void WriteSettingBool(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                        bool value) const;

  // The same writes, true only when the value was stored. Never throw.
  bool TryWriteSettingString(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                             std::u16string_view value) const;
  bool TryWriteSettingBool(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                           bool value) const;
  // REG_DWORD holding the signed 32-bit number's bits.
  bool TryWriteSettingInteger(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                              int32_t value) const;
  // REG_QWORD, little-endian.
  bool TryWriteSettingQword(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                            uint64_t value) const;

  // The same operations on the settings key.
  std::u16string ReadSettingString(std::u16string_view name, std::u16string_view fallback) const {
    return ReadSettingString(Constants::SettingsRoot, Constants::SettingsKey, name, fallback);
  }
  int32_t ReadSettingInteger(std::u16string_view name, int32_t fallback) const {
    return ReadSettingInteger(Constants::SettingsRoot, Constants::SettingsKey, name, fallback);
  }
  bool ReadSettingBool(std::u16string_view name, bool fallback) const {
    return ReadSettingBool(Constants::SettingsRoot, Constants::SettingsKey, name, fallback);
  }
  void WriteSettingString(std::u16string_view name, std::u16string_view value) const {
    WriteSettingString(Constants::SettingsRoot, Constants::SettingsKey, name, value);
  }
  void WriteSettingBool(std::u16string_view name, bool value) const {
    WriteSettingBool(Constants::SettingsRoot, Constants::SettingsKey, name, value);
  }
  bool TryWriteSettingString(std::u16string_view name, std::u16string_view value) const {
    return TryWriteSettingString(Constants::SettingsRoot, Constants::SettingsKey, name, value);
  }
  bool TryWriteSettingBool(std::u16string_view name, bool value) const {
    return TryWriteSettingBool(Constants::SettingsRoot, Constants::SettingsKey, name, value);
  }
  bool TryWriteSettingInteger(std::u16string_view name, int32_t value) const {
    return TryWriteSettingInteger(Constants::SettingsRoot, Constants::SettingsKey, name, value);
  }

 private:
  friend class PolicyReadBatch;
  RegistryQuery QueryPolicy(std::u16string_view name, std::span<std::byte> buffer) const;

  RegistryPort& port_;
  // The batch's policy key: opened at the batch's first policy read, dropped when it ends, so
  // nothing carries over from one tick to the next.
  struct PolicyBatchState {
    bool active = false;
    bool opened = false;
    std::unique_ptr<RegistryKeyPort> key;
  };
  mutable PolicyBatchState batch_;
};

// One tick's policy reads. Its first policy read opens the policy key and the rest query that one
// open key: a tick on a machine without policies pays one failed open and no value read. A batch
// inside another changes nothing. Only the thread that runs the store's reads may hold one.
class PolicyReadBatch {
 public:
  explicit PolicyReadBatch(const CustomRegistry& store) noexcept;
  ~PolicyReadBatch();
  PolicyReadBatch(const PolicyReadBatch&) = delete;
  PolicyReadBatch& operator=(const PolicyReadBatch&) = delete;

 private:
  const CustomRegistry& store_;
  bool owner_;
};

// Decoding of stored bytes, shared by the reads above and by anything that inspects raw values.
// Text of REG_SZ/REG_EXPAND_SZ data: UTF-16LE up to the first NUL; an odd last byte is ignored.
std::u16string DecodeRegistryText(const std::byte* data, size_t size);
