#pragma once
// An in-memory registry with value types, raw bytes and per-key write refusal, for unit tests.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "foundation/RegistryPort.h"

class FakeRegistry : public RegistryPort {
 public:
  struct Value {
    uint32_t type = RegType::None;
    std::vector<std::byte> data;
  };
  struct Access {
    std::u16string path;  // normalised: no leading or trailing backslash, lower case
    std::u16string name;
    bool write = false;
  };

  RegistryQuery QueryValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                           std::span<std::byte> buffer) override;
  bool SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                uint32_t type, std::span<const std::byte> data) override;

  // Test set-up and inspection.
  void Put(RegistryRoot root, std::u16string_view path, std::u16string_view name, uint32_t type,
           std::vector<std::byte> data);
  void PutDword(std::u16string_view name, uint32_t value);  // in the settings key
  void PutString(std::u16string_view name, std::u16string_view text,
                 uint32_t type = RegType::Sz);  // with its NUL
  void PutRaw(std::u16string_view name, uint32_t type, std::vector<std::byte> data);
  void Remove(std::u16string_view name);
  const Value* Find(RegistryRoot root, std::u16string_view path, std::u16string_view name) const;
  const Value* Find(std::u16string_view name) const;  // in the settings key
  bool KeyExists(RegistryRoot root, std::u16string_view path) const;
  void DenyWrites(RegistryRoot root, std::u16string_view path);  // the key refuses every write
  std::optional<uint32_t> Dword(std::u16string_view name) const;
  std::u16string String(std::u16string_view name) const;

  std::vector<Access> log;  // every query and set, in order
  size_t writes = 0;
  bool throwOnWrite = false;  // SetValue throws, as a broken port would, instead of refusing

 private:
  static std::u16string Normalise(std::u16string_view path);
  using Key = std::pair<RegistryRoot, std::u16string>;
  std::map<Key, std::map<std::u16string, Value>> keys_;
  std::set<Key> denied_;
};

// Refuses the values named, as a key whose permissions deny them would.
class RefusingRegistry : public FakeRegistry {
 public:
  std::set<std::u16string> refused;
  bool SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                uint32_t type, std::span<const std::byte> data) override {
    if (refused.count(std::u16string(name))) {
      return false;
    }
    return FakeRegistry::SetValue(root, path, name, type, data);
  }
};
