#include "tray/UpdateAnswer.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/base/Text.h"

namespace {

TEST(UpdateAnswerOf, TokensInOrderCaseSensitiveAnywhere) {
  struct Case {
    std::u16string body;
    int32_t answer;
  };
  const Case cases[] = {
      {u"VELTRA|1", 1},
      {u"VELTRA|0", 0},
      {u"VELTRA|2", 2},
      {u"  VELTRA|1 \r\n", 1},
      {u"\nVELTRA|1\n", 1},
      {u"<html><body>latest: VELTRA|1.</body></html>", 1},
      {u"xVELTRA|1x", 1},
      {u"VELTRA|1 VELTRA|0", 0},
      {u"VELTRA|0 VELTRA|1", 0},
      {u"VELTRA|2 VELTRA|1", 1},
      {u"VELTRA|2\nVELTRA|0\nVELTRA|1", 0},
      {u"veltra|1", -1},
      {u"Veltra|0", -1},
      {u"VELTRA|", -1},
      {u"VELTRA |1", -1},
      {u"VELTRA|3", -1},
      {u"VELTRA1", -1},
      {u"", -1},
      {u"VELTRA|\u0031", 1},
      {std::u16string(u"VELTRA|\0", 8) + u"1", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpdateAnswerOf(c.body), c.answer) << ToUtf8(c.body);
  }
}

TEST(CharsetOfContentType, ParameterFoundUnquotedAnyCase) {
  struct Case {
    std::u16string contentType;
    std::u16string charset;
  };
  const Case cases[] = {
      {u"text/plain; charset=utf-8", u"utf-8"},
      {u"text/plain;charset=UTF-16LE", u"UTF-16LE"},
      {u"text/html; CharSet = \"windows-1252\" ", u"windows-1252"},
      {u"text/plain; format=flowed; charset=us-ascii; x=y", u"us-ascii"},
      {u"text/plain; name=\"a;charset=x\"; charset=latin1", u"latin1"},
      {u"text/plain; charset=\"a\\\"b\"", u"a\"b"},
      {u"text/plain; charset=\"unterminated", u"unterminated"},
      {u"text/plain; flag; charset=utf-8", u"utf-8"},
      {u"text/plain", u""},
      {u"text/plain;", u""},
      {u"text/plain; charset", u""},
      {u"text/plain; charset=", u""},
      {u"text/plain; xcharset=utf-8", u""},
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CharsetOfContentType(c.contentType), c.charset) << ToUtf8(c.contentType);
  }
}

TEST(DecodeBody, ByTheNamedCharset) {
  using namespace std::string_literals;
  struct Case {
    std::string bytes;
    std::u16string charset;
    std::u16string text;
  };
  const Case cases[] = {
      {"VELTRA|1", u"utf-8", u"VELTRA|1"},
      {"\xEF\xBB\xBFVELTRA|1 \xC3\xA9\xE2\x82\xAC", u"UTF-8", u"VELTRA|1 \u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", u"utf8", u"\U0001F600"},
      {"a\xC3", u"utf-8", u"a\uFFFD"},
      {"V\0E\0\xE9\0"s, u"utf-16le", u"VE\u00E9"},
      {"\xFF\xFEV\0"s, u"UTF-16LE", u"V"},
      {"\0V\0E\x20\xAC"s, u"utf-16be", u"VE\u20AC"},
      {"\xFE\xFF\0V"s, u"utf-16be", u"V"},
      {"\xFE\xFF\0V"s, u"utf-16", u"V"},
      {"\xFF\xFEV\0"s, u"utf-16", u"V"},
      {"V\0E\0"s, u"utf-16", u"VE"},
      {"V\0E"s, u"utf-16le", u"V\uFFFD"},
      {"caf\xE9 \x80", u"iso-8859-1", u"caf\u00E9 \u0080"},
      {"caf\xE9 \x80", u"latin1", u"caf\u00E9 \u0080"},
      {"caf\xE9 \x80\x81\x9F", u"windows-1252", u"caf\u00E9 \u20AC\u0081\u0178"},
      {"caf\xE9 \x80", u"CP1252", u"caf\u00E9 \u20AC"},
      {"VELTRA|1 \xE9", u"us-ascii", u"VELTRA|1 \uFFFD"},
      {"VELTRA|1", u" utf-8 ", u"VELTRA|1"},
      // No charset or one unknown here: a byte-order mark decides, else one character a byte.
      {"VELTRA|1 \xE9", u"", u"VELTRA|1 \u00E9"},
      {"VELTRA|1 \x82\xA0", u"shift_jis", u"VELTRA|1 \u0082\u00A0"},
      {"\xFF\xFEV\0"s, u"", u"V"},
      {"\xFE\xFF\0V"s, u"x-unknown", u"V"},
      {"\xEF\xBB\xBF\xC3\xA9", u"", u"\u00E9"},
      {"", u"utf-16", u""},
      {"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeBody(c.bytes, c.charset), c.text) << ToUtf8(c.charset) << ": " << c.bytes;
  }
}

TEST(DecodeBody, TokenFoundOnlyWhenTheCharsetReadsIt) {
  using namespace std::string_literals;
  const std::string utf16le = "V\0E\0L\0T\0R\0A\0|\0001\0"s;
  EXPECT_EQ(UpdateAnswerOf(DecodeBody(utf16le, u"utf-16le")), 1);
  // Read byte by byte, the same bytes hold no token.
  EXPECT_EQ(UpdateAnswerOf(DecodeBody(utf16le, u"utf-8")), -1);
  EXPECT_EQ(UpdateAnswerOf(DecodeBody(utf16le, u"utf-16be")), -1);
}

}  // namespace
