#include "foundation/base/Text.h"

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    c = LowerAsciiChar(c);
  }
  return out;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i])) {
      return false;
    }
  }
  return true;
}

std::u16string DecodeUtf16(std::span<const std::byte> bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = std::to_integer<unsigned>(bytes[i]);
    const auto second = std::to_integer<unsigned>(bytes[i + 1]);
    text.push_back(
        static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

std::u16string_view TrimBlanks(std::u16string_view text, std::u16string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::u16string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::u16string DecimalText(int64_t value) {
  char16_t digits[24];
  size_t n = 0;
  // Work on the negative side so the most negative value needs no special case.
  int64_t v = value < 0 ? value : -value;
  do {
    digits[n++] = static_cast<char16_t>(u'0' - static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  std::u16string out;
  out.reserve(n + 1);
  if (value < 0) {
    out.push_back(u'-');
  }
  while (n > 0) {
    out.push_back(digits[--n]);
  }
  return out;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    auto cont = [&](size_t k) {
      return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](size_t k) { return static_cast<uint32_t>(text[i + k]) & 0x3F; };
    if (b0 < 0x80) {
      cp = b0;
    } else if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
      cp = ((b0 & 0x1Fu) << 6) | bits(1);
      len = 2;
    } else if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
      cp = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
      }
    } else if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
      cp = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) {
        cp = 0xFFFD;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::optional<int32_t> ParseDecimalInt32(std::u16string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  // Accumulated in 64 bits and checked at every digit, so a long run of digits never wraps.
  int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') {
      return std::nullopt;
    }
    value = value * 10 + (c - u'0');
    if (value > 2147483648LL) {
      return std::nullopt;
    }
  }
  if (negative) {
    value = -value;
  }
  if (value > INT32_MAX || value < INT32_MIN) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}
