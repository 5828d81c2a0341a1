#pragma once
// Text helpers shared by both programs. Case folding touches the ASCII letters A to Z only.
#include <cstddef>
#include <cstdint>
#include <span>
#include <optional>
#include <string>
#include <string_view>

constexpr char16_t LowerAsciiChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

std::u16string LowerAscii(std::u16string_view text);

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

// Spaces and tabs: what the programs' own texts and numbers may be padded with.
inline constexpr std::u16string_view AsciiBlanks = u" \t";

// The text without the given blanks at either end.
std::u16string_view TrimBlanks(std::u16string_view text, std::u16string_view blanks = AsciiBlanks);

// Digits only, with a leading "-" for a negative number.
std::u16string DecimalText(int64_t value);

// An optional sign and decimal digits, nothing else, that fit a signed 32-bit integer; nothing
// for any other text. Digits are summed in 64 bits and checked at each one, so no length wraps.
std::optional<int32_t> ParseDecimalInt32(std::u16string_view text);

// UTF-16 code units from pairs of bytes, little- or big-endian, taken as they are (lone surrogates
// and NULs included); an odd last byte is left out.
std::u16string DecodeUtf16(std::span<const std::byte> bytes, bool bigEndian);

// For messages and logs; invalid sequences become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
