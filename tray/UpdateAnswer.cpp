#include "tray/UpdateAnswer.h"

#include <array>
#include <span>

#include "foundation/base/Text.h"

namespace {

// The bytes 0x80 to 0x9F of windows-1252; the rest of the code page is ISO-8859-1. The five
// unassigned bytes map to the C1 controls of the same value.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum class Encoding { Utf8, Utf16Le, Utf16Be, Utf16, Latin1, Windows1252, Ascii, Unknown };

Encoding EncodingNamed(std::u16string_view charset) {
  struct Label {
    std::u16string_view name;
    Encoding encoding;
  };
  static constexpr Label labels[] = {
      {u"utf-8", Encoding::Utf8},
      {u"utf8", Encoding::Utf8},
      {u"utf-16le", Encoding::Utf16Le},
      {u"utf-16be", Encoding::Utf16Be},
      {u"utf-16", Encoding::Utf16},
      {u"iso-8859-1", Encoding::Latin1},
      {u"iso_8859-1", Encoding::Latin1},
      {u"iso8859-1", Encoding::Latin1},
      {u"latin1", Encoding::Latin1},
      {u"latin-1", Encoding::Latin1},
      {u"windows-1252", Encoding::Windows1252},
      {u"cp1252", Encoding::Windows1252},
      {u"us-ascii", Encoding::Ascii},
      {u"ascii", Encoding::Ascii},
  };
  const std::u16string_view name = TrimBlanks(charset);
  for (const auto& label : labels) {
    if (EqualsIgnoreAsciiCase(name, label.name)) {
      return label.encoding;
    }
  }
  return Encoding::Unknown;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LeBom = "\xFF\xFE";
constexpr std::string_view Utf16BeBom = "\xFE\xFF";

// What a charset leaves open (none, unknown, or "utf-16" without its byte order) the byte-order
// mark decides; without one, utf-16 is little-endian and anything else one character a byte.
Encoding ByByteOrderMark(std::string_view bytes, Encoding named) {
  if (StartsWith(bytes, Utf16BeBom)) {
    return Encoding::Utf16Be;
  }
  if (StartsWith(bytes, Utf16LeBom) || named == Encoding::Utf16) {
    return Encoding::Utf16Le;
  }
  if (StartsWith(bytes, Utf8Bom)) {
    return Encoding::Utf8;
  }
  return Encoding::Latin1;
}

std::u16string FromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out = DecodeUtf16(std::as_bytes(std::span(bytes.data(), bytes.size())), bigEndian);
  if (bytes.size() % 2 != 0) {
    out.push_back(u'\uFFFD');  // half a code unit at the end
  }
  return out;
}

std::u16string FromSingleBytes(std::string_view bytes, Encoding encoding) {
  std::u16string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    const bool high = b >= 0x80;
    if (high && encoding == Encoding::Ascii) {
      out.push_back(u'\uFFFD');
    } else if (high && b < 0xA0 && encoding == Encoding::Windows1252) {
      out.push_back(Windows1252High[b - 0x80]);
    } else {
      out.push_back(b);  // ASCII, and ISO-8859-1 where each byte is its own code point
    }
  }
  return out;
}

}  // namespace

std::u16string CharsetOfContentType(std::u16string_view contentType) {
  // media-type *( ";" name "=" ( token / quoted-string ) )
  size_t pos = contentType.find(u';');
  while (pos != std::u16string_view::npos) {
    ++pos;
    const size_t equals = contentType.find_first_of(u"=;", pos);
    if (equals == std::u16string_view::npos) {
      return {};
    }
    if (contentType[equals] == u';') {
      pos = equals;  // a parameter without a value
      continue;
    }
    const std::u16string_view name = TrimBlanks(contentType.substr(pos, equals - pos));
    size_t at = equals + 1;
    while (at < contentType.size() &&
           AsciiBlanks.find(contentType[at]) != std::u16string_view::npos) {
      ++at;
    }
    std::u16string value;
    if (at < contentType.size() && contentType[at] == u'"') {
      for (++at; at < contentType.size() && contentType[at] != u'"'; ++at) {
        if (contentType[at] == u'\\' && at + 1 < contentType.size()) {
          ++at;
        }
        value.push_back(contentType[at]);
      }
      pos = contentType.find(u';', at);
    } else {
      pos = contentType.find(u';', at);
      value = TrimBlanks(contentType.substr(at, pos == std::u16string_view::npos ? pos : pos - at));
    }
    if (EqualsIgnoreAsciiCase(name, u"charset")) {
      return value;
    }
  }
  return {};
}

std::u16string DecodeBody(std::string_view bytes, std::u16string_view charset) {
  Encoding encoding = EncodingNamed(charset);
  if (encoding == Encoding::Unknown || encoding == Encoding::Utf16) {
    encoding = ByByteOrderMark(bytes, encoding);
  }
  switch (encoding) {
    case Encoding::Utf8:
      if (StartsWith(bytes, Utf8Bom)) {
        bytes.remove_prefix(Utf8Bom.size());
      }
      return FromUtf8(bytes);
    case Encoding::Utf16Le:
      if (StartsWith(bytes, Utf16LeBom)) {
        bytes.remove_prefix(Utf16LeBom.size());
      }
      return FromUtf16(bytes, false);
    case Encoding::Utf16Be:
      if (StartsWith(bytes, Utf16BeBom)) {
        bytes.remove_prefix(Utf16BeBom.size());
      }
      return FromUtf16(bytes, true);
    default:
      return FromSingleBytes(bytes, encoding);
  }
}

int32_t UpdateAnswerOf(std::u16string_view body) {
  if (body.find(UpdateTokens::NoUpdate) != std::u16string_view::npos) {
    return 0;
  }
  if (body.find(UpdateTokens::Update) != std::u16string_view::npos) {
    return 1;
  }
  if (body.find(UpdateTokens::Third) != std::u16string_view::npos) {
    return 2;
  }
  return -1;
}

int32_t UpdateAnswerOfBody(std::string_view bytes, std::u16string_view charset) {
  return UpdateAnswerOf(DecodeBody(bytes, charset));
}
