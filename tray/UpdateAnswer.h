#pragma once
// The update server's answer: the body decoded by the character set the response names, and the
// tokens searched in it.
#include <cstdint>
#include <string>
#include <string_view>

namespace UpdateTokens {
// Case-sensitive; searched in this order, so the first one found decides.
inline constexpr std::u16string_view NoUpdate = u"VELTRA|0";
inline constexpr std::u16string_view Update = u"VELTRA|1";
inline constexpr std::u16string_view Third = u"VELTRA|2";
}  // namespace UpdateTokens

// The charset parameter of a Content-Type header value, unquoted; empty when there is none.
std::u16string CharsetOfContentType(std::u16string_view contentType);

// Body bytes as UTF-16 text. Known charsets (ASCII case ignored): utf-8, utf-16le, utf-16be,
// utf-16 (byte-order mark, else little-endian), iso-8859-1/latin1, windows-1252, us-ascii. With
// no charset or one not known here, a byte-order mark decides, else each byte is one character
// (ISO-8859-1): the tokens are ASCII, so they stay findable in every ASCII-compatible charset.
// Malformed sequences become U+FFFD.
std::u16string DecodeBody(std::string_view bytes, std::u16string_view charset);

// 0, 1 or 2 for the first token found in the order above, -1 when the body holds none.
int32_t UpdateAnswerOf(std::u16string_view body);

// The answer of raw body bytes in the named charset: DecodeBody, then UpdateAnswerOf.
int32_t UpdateAnswerOfBody(std::string_view bytes, std::u16string_view charset);
