#include "foundation/CustomRegistry.h"

#include <algorithm>
#include <array>
#include <vector>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/base/LittleEndian.h"
#include "foundation/base/Text.h"

namespace {

// Strings of ordinary length are read without touching the heap for the query itself.
constexpr size_t InlineStringBytes = 512;

// A value that keeps growing while we read it is given up after a few tries, not chased forever.
constexpr int StringReadAttempts = 4;

// How a number's stored size is judged: the settings take any size up to the type's, a record
// whose writer always writes whole values takes exactly that size.
enum class Width { AtMost, Exactly };

// A number of type `type` stored in `width` bytes (or fewer, where allowed), little-endian.
bool ReadNumber(RegistryPort& port, RegistryRoot root, std::u16string_view path,
                std::u16string_view name, uint32_t type, uint32_t width, Width rule,
                uint64_t& out) {
  // Room for more than the width, so a longer value is seen as one and refused.
  std::array<std::byte, 16> buffer{};
  const RegistryQuery q = port.QueryValue(root, path, name, buffer);
  if (q.status != RegistryQuery::Status::Ok || q.type != type || q.size > width ||
      (rule == Width::Exactly && q.size != width)) {
    return false;
  }
  out = ReadLittleEndian(buffer.data(), q.size);
  return true;
}

bool ReadDword(RegistryPort& port, RegistryRoot root, std::u16string_view path,
               std::u16string_view name, int32_t& out) {
  uint64_t v = 0;
  if (!ReadNumber(port, root, path, name, RegType::Dword, 4, Width::AtMost, v)) {
    return false;
  }
  out = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

// A port that reports more bytes than the buffer it was given must not make the decoder read past
// that buffer.
size_t Within(size_t reported, size_t buffer) {
  return reported < buffer ? reported : buffer;
}

bool IsStringType(uint32_t type) {
  return type == RegType::Sz || type == RegType::ExpandSz;
}

}  // namespace

std::u16string DecodeRegistryText(const std::byte* data, size_t size) {
  std::u16string text = DecodeUtf16(std::span(data, size), false);
  text.resize(std::min(text.size(), text.find(u'\0')));
  return text;
}

std::u16string CustomRegistry::ReadSettingString(RegistryRoot root, std::u16string_view path,
                                                 std::u16string_view name,
                                                 std::u16string_view fallback) const {
  std::u16string text = guarded_or(std::u16string(), [&] {
    std::array<std::byte, InlineStringBytes> inline_buffer{};
    RegistryQuery q = port_.QueryValue(root, path, name, inline_buffer);
    if (q.status == RegistryQuery::Status::Ok) {
      return IsStringType(q.type)
                 ? DecodeRegistryText(inline_buffer.data(), Within(q.size, inline_buffer.size()))
                 : std::u16string();
    }
    std::vector<std::byte> heap_buffer;
    for (int attempt = 0; attempt < StringReadAttempts; ++attempt) {
      if (q.status != RegistryQuery::Status::MoreData || !IsStringType(q.type)) {
        return std::u16string();
      }
      heap_buffer.assign(q.size, std::byte{0});
      q = port_.QueryValue(root, path, name, heap_buffer);
      if (q.status == RegistryQuery::Status::Ok) {
        return IsStringType(q.type)
                   ? DecodeRegistryText(heap_buffer.data(), Within(q.size, heap_buffer.size()))
                   : std::u16string();
      }
    }
    return std::u16string();
  });
  if (text.empty()) {
    return std::u16string(fallback);
  }
  return text;
}

int32_t CustomRegistry::ReadSettingInteger(RegistryRoot root, std::u16string_view path,
                                           std::u16string_view name, int32_t fallback) const {
  return guarded_or(fallback, [&] {
    int32_t v = 0;
    return ReadDword(port_, root, path, name, v) ? v : fallback;
  });
}

int64_t CustomRegistry::ReadSettingQword(RegistryRoot root, std::u16string_view path,
                                         std::u16string_view name, int64_t fallback) const {
  return guarded_or(fallback, [&] {
    uint64_t v = 0;
    return ReadNumber(port_, root, path, name, RegType::Qword, 8, Width::AtMost, v)
               ? static_cast<int64_t>(v)
               : fallback;
  });
}

std::optional<uint64_t> CustomRegistry::ReadExactNumber(RegistryRoot root, std::u16string_view path,
                                                        std::u16string_view name,
                                                        uint32_t type) const {
  return guarded_or(std::optional<uint64_t>(), [&]() -> std::optional<uint64_t> {
    const uint32_t width = type == RegType::Qword ? 8 : 4;
    uint64_t v = 0;
    return ReadNumber(port_, root, path, name, type, width, Width::Exactly, v)
               ? std::optional<uint64_t>(v)
               : std::nullopt;
  });
}

bool CustomRegistry::ReadSettingBool(RegistryRoot root, std::u16string_view path,
                                     std::u16string_view name, bool fallback) const {
  return guarded_or(fallback, [&] {
    int32_t v = 0;
    return ReadDword(port_, root, path, name, v) ? v != 0 : fallback;
  });
}

void CustomRegistry::WriteSettingString(RegistryRoot root, std::u16string_view path,
                                        std::u16string_view name, std::u16string_view value) const {
  TryWriteSettingString(root, path, name, value);
}

void CustomRegistry::WriteSettingBool(RegistryRoot root, std::u16string_view path,
                                      std::u16string_view name, bool value) const {
  TryWriteSettingBool(root, path, name, value);
}

bool CustomRegistry::TryWriteSettingString(RegistryRoot root, std::u16string_view path,
                                           std::u16string_view name,
                                           std::u16string_view value) const {
  return guarded_or(false, [&] {
    std::vector<std::byte> data((value.size() + 1) * 2, std::byte{0});
    for (size_t i = 0; i < value.size(); ++i) {
      data[2 * i] = static_cast<std::byte>(value[i] & 0xFF);
      data[2 * i + 1] = static_cast<std::byte>(value[i] >> 8);
    }
    return port_.SetValue(root, path, name, RegType::Sz, data);
  });
}

bool CustomRegistry::TryWriteSettingBool(RegistryRoot root, std::u16string_view path,
                                         std::u16string_view name, bool value) const {
  return TryWriteSettingInteger(root, path, name, value ? 1 : 0);
}

bool CustomRegistry::TryWriteSettingInteger(RegistryRoot root, std::u16string_view path,
                                            std::u16string_view name, int32_t value) const {
  return guarded_or(false, [&] {
    return port_.SetValue(root, path, name, RegType::Dword,
                          LittleEndianBytes<4>(static_cast<uint32_t>(value)));
  });
}

bool CustomRegistry::TryWriteSettingQword(RegistryRoot root, std::u16string_view path,
                                          std::u16string_view name, uint64_t value) const {
  return guarded_or(false, [&] {
    return port_.SetValue(root, path, name, RegType::Qword, LittleEndianBytes<8>(value));
  });
}

CustomRegistry::~CustomRegistry() = default;

RegistryQuery CustomRegistry::QueryPolicy(std::u16string_view name,
                                          std::span<std::byte> buffer) const {
  if (!batch_.active) {
    const std::unique_ptr<RegistryKeyPort> key =
        port_.OpenQueryKey64(Constants::SettingsRoot, Constants::PolicyKey);
    return key ? key->QueryValue(name, buffer) : RegistryQuery{};
  }
  if (!batch_.opened) {
    // Marked first: an open that throws is not tried again within the batch.
    batch_.opened = true;
    batch_.key = port_.OpenQueryKey64(Constants::SettingsRoot, Constants::PolicyKey);
  }
  return batch_.key ? batch_.key->QueryValue(name, buffer) : RegistryQuery{};
}

std::optional<int32_t> CustomRegistry::ReadPolicyDword(std::u16string_view name) const {
  return guarded_or(std::optional<int32_t>(), [&]() -> std::optional<int32_t> {
    std::array<std::byte, 16> buffer{};
    const RegistryQuery q = QueryPolicy(name, buffer);
    if (q.status != RegistryQuery::Status::Ok || q.type != RegType::Dword || q.size != 4) {
      return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(ReadLittleEndian(buffer.data(), 4)));
  });
}

std::optional<std::u16string> CustomRegistry::ReadPolicyString(std::u16string_view name) const {
  return guarded_or(std::optional<std::u16string>(), [&]() -> std::optional<std::u16string> {
    // Every text a policy may hold (a colour, a language) is short: a longer one is refused as
    // the wrong size rather than read from the heap.
    std::array<std::byte, InlineStringBytes> buffer{};
    const RegistryQuery q = QueryPolicy(name, buffer);
    if (q.status != RegistryQuery::Status::Ok || !IsStringType(q.type)) {
      return std::nullopt;
    }
    std::u16string text = DecodeRegistryText(buffer.data(), Within(q.size, buffer.size()));
    if (text.empty()) {
      return std::nullopt;
    }
    return text;
  });
}

PolicyReadBatch::PolicyReadBatch(const CustomRegistry& store) noexcept
    : store_(store), owner_(!store.batch_.active) {
  if (owner_) {
    store_.batch_.active = true;
    store_.batch_.opened = false;
  }
}

PolicyReadBatch::~PolicyReadBatch() {
  if (owner_) {
    store_.batch_.key.reset();
    store_.batch_.active = false;
    store_.batch_.opened = false;
  }
}
