#include "tests/fakes/FakeRegistry.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/base/Text.h"

std::u16string FakeRegistry::Normalise(std::u16string_view path) {
  while (!path.empty() && path.front() == u'\\') {
    path.remove_prefix(1);
  }
  while (!path.empty() && path.back() == u'\\') {
    path.remove_suffix(1);
  }
  return LowerAscii(path);
}

RegistryQuery FakeRegistry::QueryValue(RegistryRoot root, std::u16string_view path,
                                       std::u16string_view name, std::span<std::byte> buffer) {
  const std::u16string key = Normalise(path);
  log.push_back({key, std::u16string(name), false});
  auto k = keys_.find({root, key});
  if (k == keys_.end()) {
    return {};
  }
  auto v = k->second.find(LowerAscii(name));
  if (v == k->second.end()) {
    return {};
  }
  RegistryQuery q;
  q.type = v->second.type;
  q.size = static_cast<uint32_t>(v->second.data.size());
  if (v->second.data.size() > buffer.size()) {
    q.status = RegistryQuery::Status::MoreData;
    return q;
  }
  if (!v->second.data.empty()) {
    std::memcpy(buffer.data(), v->second.data.data(), v->second.data.size());
  }
  q.status = RegistryQuery::Status::Ok;
  return q;
}

namespace {

// Queries the live values of one key of the fake.
struct FakeOpenKey final : RegistryKeyPort {
  FakeOpenKey(FakeRegistry& r, RegistryRoot k, std::u16string p) : reg(r), root(k), path(p) {}
  RegistryQuery QueryValue(std::u16string_view name, std::span<std::byte> buffer) override {
    return reg.QueryValue(root, path, name, buffer);
  }
  FakeRegistry& reg;
  RegistryRoot root;
  std::u16string path;
};

}  // namespace

std::unique_ptr<RegistryKeyPort> FakeRegistry::OpenQueryKey64(RegistryRoot root,
                                                              std::u16string_view path) {
  ++keyOpens;
  if (!KeyExists(root, path)) {
    return nullptr;
  }
  return std::make_unique<FakeOpenKey>(*this, root, Normalise(path));
}

bool FakeRegistry::SetValue(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                            uint32_t type, std::span<const std::byte> data) {
  const std::u16string key = Normalise(path);
  log.push_back({key, std::u16string(name), true});
  if (throwOnWrite) {
    throw std::runtime_error("registry write failed");
  }
  if (denied_.count({root, key})) {
    return false;
  }
  // Creating a key creates every key on its path.
  for (size_t pos = 0; (pos = key.find(u'\\', pos)) != std::u16string::npos; ++pos) {
    keys_[{root, key.substr(0, pos)}];
  }
  keys_[{root, key}][LowerAscii(name)] = Value{type, {data.begin(), data.end()}};
  ++writes;
  return true;
}

void FakeRegistry::Put(RegistryRoot root, std::u16string_view path, std::u16string_view name,
                       uint32_t type, std::vector<std::byte> data) {
  keys_[{root, Normalise(path)}][LowerAscii(name)] = Value{type, std::move(data)};
}

void FakeRegistry::PutRaw(std::u16string_view name, uint32_t type, std::vector<std::byte> data) {
  Put(Constants::SettingsRoot, Constants::SettingsKey, name, type, std::move(data));
}

void FakeRegistry::PutDword(std::u16string_view name, uint32_t value) {
  std::vector<std::byte> data(4);
  for (int i = 0; i < 4; ++i) {
    data[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
  }
  PutRaw(name, RegType::Dword, std::move(data));
}

void FakeRegistry::PutString(std::u16string_view name, std::u16string_view text, uint32_t type) {
  std::vector<std::byte> data((text.size() + 1) * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    data[2 * i] = static_cast<std::byte>(text[i] & 0xFF);
    data[2 * i + 1] = static_cast<std::byte>(text[i] >> 8);
  }
  PutRaw(name, type, std::move(data));
}

void FakeRegistry::Remove(std::u16string_view name) {
  auto k = keys_.find({Constants::SettingsRoot, Normalise(Constants::SettingsKey)});
  if (k != keys_.end()) {
    k->second.erase(LowerAscii(name));
  }
}

const FakeRegistry::Value* FakeRegistry::Find(RegistryRoot root, std::u16string_view path,
                                              std::u16string_view name) const {
  auto k = keys_.find({root, Normalise(path)});
  if (k == keys_.end()) {
    return nullptr;
  }
  auto v = k->second.find(LowerAscii(name));
  return v == k->second.end() ? nullptr : &v->second;
}

const FakeRegistry::Value* FakeRegistry::Find(std::u16string_view name) const {
  return Find(Constants::SettingsRoot, Constants::SettingsKey, name);
}

bool FakeRegistry::KeyExists(RegistryRoot root, std::u16string_view path) const {
  return keys_.count({root, Normalise(path)}) != 0;
}

void FakeRegistry::DenyWrites(RegistryRoot root, std::u16string_view path) {
  denied_.insert({root, Normalise(path)});
}

std::optional<uint32_t> FakeRegistry::Dword(std::u16string_view name) const {
  const Value* v = Find(name);
  if (v == nullptr || v->type != RegType::Dword || v->data.size() != 4) {
    return std::nullopt;
  }
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) {
    out |= static_cast<uint32_t>(std::to_integer<uint8_t>(v->data[i])) << (8 * i);
  }
  return out;
}

std::u16string FakeRegistry::String(std::u16string_view name) const {
  const Value* v = Find(name);
  return v == nullptr ? std::u16string() : DecodeRegistryText(v->data.data(), v->data.size());
}
