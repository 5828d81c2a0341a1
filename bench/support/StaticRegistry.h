#pragma once
// A registry port that answers from a fixed table without touching the heap, so that a benchmark
// counts only the allocations of the code above it.
#include <array>
#include <cstring>
#include <memory>
#include <string_view>

#include "foundation/RegistryPort.h"

namespace bench {

class StaticRegistry : public RegistryPort {
 public:
  struct Entry {
    std::u16string_view name;
    uint32_t type;
    std::array<std::byte, 64> data;
    uint32_t size;
  };

  void PutDword(std::u16string_view name, uint32_t value) {
    Entry& e = Add(name, RegType::Dword);
    for (int i = 0; i < 4; ++i) {
      e.data[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
    }
    e.size = 4;
  }
  void PutString(std::u16string_view name, std::u16string_view text) {
    Entry& e = Add(name, RegType::Sz);
    for (size_t i = 0; i < text.size() && 2 * i + 3 < e.data.size(); ++i) {
      e.data[2 * i] = static_cast<std::byte>(text[i] & 0xFF);
      e.data[2 * i + 1] = static_cast<std::byte>(text[i] >> 8);
      e.size = static_cast<uint32_t>(2 * i + 4);
    }
  }
  void Remove(std::u16string_view name) {
    for (size_t i = 0; i < count_; ++i) {
      if (entries_[i].name == name) {
        entries_[i] = entries_[--count_];
        return;
      }
    }
  }

  RegistryQuery QueryValue(RegistryRoot, std::u16string_view, std::u16string_view name,
                           std::span<std::byte> buffer) override {
    ++queries;
    for (size_t i = 0; i < count_; ++i) {
      const Entry& e = entries_[i];
      if (e.name == name) {
        RegistryQuery q;
        q.type = e.type;
        q.size = e.size;
        if (e.size > buffer.size()) {
          q.status = RegistryQuery::Status::MoreData;
          return q;
        }
        std::memcpy(buffer.data(), e.data.data(), e.size);
        q.status = RegistryQuery::Status::Ok;
        return q;
      }
    }
    return {};
  }
  bool SetValue(RegistryRoot, std::u16string_view, std::u16string_view name, uint32_t type,
                std::span<const std::byte> data) override {
    ++writes;
    if (data.size() > 64) {
      return false;
    }
    Entry* e = nullptr;
    for (size_t i = 0; i < count_; ++i) {
      if (entries_[i].name == name) {
        e = &entries_[i];
      }
    }
    if (e == nullptr) {
      e = &Add(name, type);
    }
    e->type = type;
    std::memcpy(e->data.data(), data.data(), data.size());
    e->size = static_cast<uint32_t>(data.size());
    return true;
  }

  // The policy key: absent unless a table is given for it. Opening it costs one allocation, as
  // the real adapter's key object does.
  std::unique_ptr<RegistryKeyPort> OpenQueryKey64(RegistryRoot, std::u16string_view) override {
    ++keyOpens;
    return policy == nullptr ? nullptr : std::make_unique<OpenKey>(*policy);
  }

  uint64_t queries = 0;
  uint64_t writes = 0;
  uint64_t keyOpens = 0;
  StaticRegistry* policy = nullptr;

 private:
  class OpenKey final : public RegistryKeyPort {
   public:
    explicit OpenKey(StaticRegistry& values) : values_(values) {}
    RegistryQuery QueryValue(std::u16string_view name, std::span<std::byte> buffer) override {
      return values_.QueryValue(RegistryRoot::LocalMachine, {}, name, buffer);
    }

   private:
    StaticRegistry& values_;
  };

  Entry& Add(std::u16string_view name, uint32_t type) {
    for (size_t i = 0; i < count_; ++i) {
      if (entries_[i].name == name) {
        entries_[i].type = type;
        return entries_[i];
      }
    }
    Entry& e = entries_.at(count_++);
    e = Entry{name, type, {}, 0};
    return e;
  }
  std::array<Entry, 32> entries_{};
  size_t count_ = 0;
};

}  // namespace bench
