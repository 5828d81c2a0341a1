// Colour names and numbers as the settings hold them. Besides not crashing: the reading ignores
// the case of ASCII letters throughout, and every 32-bit number reads back from its decimal and
// hexadecimal forms.
#include <cstring>

#include "foundation/base/Text.h"
#include "fuzz/FuzzSupport.h"
#include "tray/CustomTrayIconImage.h"

namespace {

std::u16string HexText(uint32_t value, std::u16string_view prefix, bool upper) {
  const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string text(prefix);
  for (int shift = 28; shift >= 0; shift -= 4) {
    text.push_back(digits[(value >> shift) & 0xF]);
  }
  return text;
}

void CheckName(const std::u16string& name) {
  const std::optional<uint32_t> color = ColorFromName(name);
  FUZZ_CHECK(ColorFromName(LowerAscii(name)) == color);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  CheckName(TextFromBytes(bytes));
  CheckName(Utf16FromBytes(bytes));

  if (size >= 4) {
    uint32_t value = 0;
    std::memcpy(&value, data, 4);
    const bool upper = size > 4 && (data[4] & 1) != 0;
    FUZZ_CHECK(ColorFromName(DecimalText(static_cast<int32_t>(value))) == value);
    FUZZ_CHECK(ColorFromName(HexText(value, u"$", upper)) == value);
    FUZZ_CHECK(ColorFromName(HexText(value, upper ? u"0X" : u"0x", upper)) == value);
  }
  return 0;
}
