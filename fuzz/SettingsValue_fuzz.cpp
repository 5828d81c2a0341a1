// The settings store's decoding of stored values: registry text on its own, and the three reads
// over a registry whose every answer (status, type, size, bytes) comes from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Far larger than the store's inline buffer and than any value a settings key holds in practice,
// small enough for the fuzzer to try many sizes quickly.
constexpr uint32_t MaxValueBytes = 1u << 16;

// Answers queries from the input while it lasts, then as a missing value. It keeps the port's
// contract: Ok only when the bytes fit the caller's buffer, otherwise MoreData with the size
// needed.
class ScriptedRegistry : public RegistryPort {
 public:
  explicit ScriptedRegistry(FuzzedDataProvider& input) : input_(input) {}

  RegistryQuery QueryValue(RegistryRoot, std::u16string_view, std::u16string_view,
                           std::span<std::byte> buffer) override {
    ++queries;
    RegistryQuery q;
    if (input_.remaining_bytes() == 0) {
      return q;
    }
    const uint8_t kind = input_.ConsumeIntegral<uint8_t>();
    if (kind % 4 == 0) {
      return q;  // missing, refused, or any other failure
    }
    static constexpr std::array<uint32_t, 7> types = {
        RegType::None,  RegType::Sz,      RegType::ExpandSz, RegType::Binary,
        RegType::Dword, RegType::MultiSz, RegType::Qword};
    q.type = (kind & 0x80) != 0 ? input_.ConsumeIntegral<uint32_t>()
                                : types[input_.ConsumeIntegral<uint8_t>() % types.size()];
    if (kind % 4 == 1) {
      // Only a size: the value changed between the caller's queries.
      q.status = RegistryQuery::Status::MoreData;
      q.size = input_.ConsumeIntegralInRange<uint32_t>(0, MaxValueBytes);
      last.clear();
      return q;
    }
    lastType = q.type;
    const size_t length = input_.ConsumeIntegralInRange<size_t>(0, 2048);
    last = input_.ConsumeBytes<uint8_t>(length);
    q.size = static_cast<uint32_t>(last.size());
    if (last.size() > buffer.size()) {
      q.status = RegistryQuery::Status::MoreData;
      return q;
    }
    if (!last.empty()) {
      std::memcpy(buffer.data(), last.data(), last.size());
    }
    q.status = RegistryQuery::Status::Ok;
    return q;
  }

  bool SetValue(RegistryRoot, std::u16string_view, std::u16string_view, uint32_t,
                std::span<const std::byte>) override {
    return input_.ConsumeBool();
  }

  int queries = 0;
  std::vector<uint8_t> last;  // the bytes of the latest answer that carried data
  uint32_t lastType = RegType::None;

 private:
  FuzzedDataProvider& input_;
};

void CheckDecodedText(const std::u16string& text, std::span<const uint8_t> bytes) {
  FUZZ_CHECK(text.size() <= bytes.size() / 2);
  FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
  for (size_t i = 0; i < text.size(); ++i) {
    FUZZ_CHECK(text[i] == static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
  // The text ends at a NUL unit or where the whole units end.
  const size_t end = 2 * text.size();
  FUZZ_CHECK(end + 1 >= bytes.size() || (bytes[end] == 0 && bytes[end + 1] == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> whole(data, size);
  CheckDecodedText(DecodeRegistryText(reinterpret_cast<const std::byte*>(data), size), whole);

  FuzzedDataProvider input(data, size);
  ScriptedRegistry registry(input);
  const CustomRegistry settings(registry);
  while (input.remaining_bytes() > 0) {
    const int before = registry.queries;
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {
        const std::u16string text = settings.ReadSettingString(u"Language", u"english");
        FUZZ_CHECK(!text.empty());
        FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
        // A value that keeps changing size is given up after a few queries, not chased.
        FUZZ_CHECK(registry.queries - before <= 5);
        break;
      }
      case 1: {
        const int32_t fallback = input.ConsumeIntegral<int32_t>();
        const int32_t value = settings.ReadSettingInteger(u"MemoryFree", fallback);
        FUZZ_CHECK(registry.queries - before == 1);
        if (value != fallback) {
          // Only the stored bytes can give another number: at most four, little-endian.
          FUZZ_CHECK(registry.lastType == RegType::Dword);
          FUZZ_CHECK(registry.last.size() <= 4);
          uint32_t stored = 0;
          for (size_t i = 0; i < registry.last.size(); ++i) {
            stored |= static_cast<uint32_t>(registry.last[i]) << (8 * i);
          }
          FUZZ_CHECK(static_cast<uint32_t>(value) == stored);
        }
        break;
      }
      case 2:
        (void)settings.ReadSettingBool(u"FullScreen", input.ConsumeBool());
        FUZZ_CHECK(registry.queries - before == 1);
        break;
      default:
        settings.WriteSettingBool(u"FullScreen", input.ConsumeBool());
        FUZZ_CHECK(registry.queries == before);
        break;
    }
  }
  return 0;
}
