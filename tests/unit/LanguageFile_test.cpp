#include "foundation/LanguageFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/base/Text.h"
#include "tests/fakes/FakeResources.h"

namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
  std::vector<std::byte> bytes;
  for (int v : values) {
    bytes.push_back(static_cast<std::byte>(v));
  }
  return bytes;
}

std::string Show(std::u16string_view text) {
  return ToUtf8(text);
}

TEST(DecodeLanguageText, ByByteOrderMark) {
  struct Case {
    std::string name;
    std::vector<std::byte> bytes;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"UTF-16LE", Bytes({0xFF, 0xFE, 'A', 0, 0xE9, 0, 0x00, 0x20}), u"A\u00E9\u2000"},
      {"UTF-16BE", Bytes({0xFE, 0xFF, 0, 'A', 0, 0xE9, 0x20, 0x00}), u"A\u00E9\u2000"},
      {"UTF-8", Bytes({0xEF, 0xBB, 0xBF, 'A', 0xC3, 0xA9}), u"A\u00E9"},
      {"ANSI", Bytes({'A', 0xE9, ',', ' '}), u"A\u00E9, "},
      {"empty", {}, u""},
      {"UTF-16LE mark alone", Bytes({0xFF, 0xFE}), u""},
      {"UTF-16BE mark alone", Bytes({0xFE, 0xFF}), u""},
      {"UTF-8 mark alone", Bytes({0xEF, 0xBB, 0xBF}), u""},
      {"odd UTF-16LE byte count drops the last byte", Bytes({0xFF, 0xFE, 'A', 0, 'B'}), u"A"},
      {"odd UTF-16BE byte count drops the last byte", Bytes({0xFE, 0xFF, 0, 'A', 0}), u"A"},
      {"lone surrogates are kept", Bytes({0xFF, 0xFE, 0x00, 0xD8, 'A', 0, 0x00, 0xDC}),
       u"\xD800"
       u"A"
       u"\xDC00"},
      {"the LE mark wins over a following BE mark", Bytes({0xFF, 0xFE, 0xFE, 0xFF}), u"\xFFFE"},
      {"part of a UTF-8 mark is ANSI", Bytes({0xEF, 0xBB, 'A'}),
       u"\u00EF\u00BB"
       u"A"},
      {"a single byte is ANSI", Bytes({0xFF}), u"\u00FF"},
      {"invalid UTF-8 becomes replacement characters", Bytes({0xEF, 0xBB, 0xBF, 0xC3, 'A'}),
       u"\xFFFD"
       u"A"},
      {"NUL bytes are decoded, not dropped", Bytes({0xFF, 0xFE, 'A', 0, 0, 0, 'B', 0}),
       std::u16string(u"A\0B", 3)},
  };
  FakeResources ansi;
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeLanguageText(c.bytes, ansi), c.text) << c.name;
  }
}

TEST(SplitLanguageLines, LineEndsAndNul) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string_view> lines;
  };
  const std::vector<Case> cases = {
      {u"a\r\nb", {u"a", u"b"}},
      {u"a\rb", {u"a", u"b"}},
      {u"a\nb", {u"a", u"b"}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"a\r\n\r\nb", {u"a", u"", u"b"}},
      {u"a\r\r\nb", {u"a", u"", u"b"}},
      {u"a\r\n", {u"a"}},
      {u"a\r", {u"a"}},
      {u"", {}},
      {u"\r\n", {u""}},
      {u"\n\n", {u"", u""}},
      {std::u16string(u"a\0b\r\nc", 6), {u"a"}},
      {std::u16string(u"\0a", 2), {}},
      {std::u16string(u"a\r\0\nb", 5), {u"a"}},
      {u"  \t ", {u"  \t "}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLanguageLines(c.text), c.lines) << Show(c.text);
  }
}

TEST(SplitLanguageFields, Table) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> fields;
  };
  const std::vector<Case> cases = {
      {u"NBTrayForm, OpenPopup, \"Open &Nimbello\"",
       {u"NBTrayForm", u"OpenPopup", u"Open &Nimbello"}},
      {u"a,b,c", {u"a", u"b", u"c"}},
      {u"  a ,  b", {u"a", u"b"}},
      {u"\"x \"\"y\"\" z\"", {u"x \"y\" z"}},
      {u"\"\"", {u""}},
      {u"\"\" ,\"\"", {u"", u""}},
      {u"\"\"\"\"", {u"\""}},
      {u"a b c", {u"a", u"b", u"c"}},
      {u"a\tb\x01"
       u"c",
       {u"a", u"b", u"c"}},
      {u"\"ab\"cd", {u"ab", u"cd"}},
      {u"\"ab\" \"cd\"", {u"ab", u"cd"}},
      {u"a\"b", {u"a\"b"}},
      {u"a,", {u"a", u""}},
      {u"a,\"b\",", {u"a", u"b", u""}},
      {u"a, ", {u"a"}},
      {u"a ,", {u"a", u""}},
      {u"a,,b", {u"a", u"", u"b"}},
      {u",a", {u"", u"a"}},
      {u",", {u"", u""}},
      {u"\"a\",,", {u"a", u"", u""}},
      {u"", {}},
      {u"   ", {}},
      {u"\t\x01\x1F ", {}},
      {u"x\x7F\u00E9\u00A0y", {u"x\x7F\u00E9\u00A0y"}},
      {u"S, K, \"text with, comma\"", {u"S", u"K", u"text with, comma"}},
      {u"a,b,c,d,e", {u"a", u"b", u"c", u"d", u"e"}},
      // A quoted text without its closing quote runs to the end of the line.
      {u"S, K, \"unclosed text", {u"S", u"K", u"unclosed text"}},
      {u"S, K, \"un\"\"closed, \"\"", {u"S", u"K", u"un\"closed, \""}},
      {u"\"", {u""}},
      {u"S, K, \"", {u"S", u"K", u""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLanguageFields(c.line), c.fields) << Show(c.line);
  }
}

TEST(SplitLanguageFields, StopsAfterTheWantedFields) {
  struct Case {
    std::u16string line;
    size_t maxFields;
    std::vector<std::u16string> fields;
  };
  const std::vector<Case> cases = {
      {u"a,b,c,d", 3, {u"a", u"b", u"c"}},
      {u"a,b,", 3, {u"a", u"b", u""}},
      {u"a,b,c,", 3, {u"a", u"b", u"c"}},
      {u"a,", 1, {u"a"}},
      {u"a b", 0, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLanguageFields(c.line, c.maxFields), c.fields) << Show(c.line);
  }
}

TEST(SplitLanguageFields, LongLines) {
  constexpr size_t Megabyte = 1 << 20;
  EXPECT_TRUE(SplitLanguageFields(std::u16string(Megabyte, u' ')).empty());

  const std::u16string word(Megabyte, u'w');
  EXPECT_EQ(SplitLanguageFields(word), std::vector<std::u16string>{word});

  const std::u16string unclosed =
      u"\"" + std::u16string(Megabyte, u'"');  // pairs only, no closing quote
  const auto fields = SplitLanguageFields(unclosed);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0], std::u16string(Megabyte / 2, u'"'));

  std::u16string manyWords;
  for (size_t i = 0; i < Megabyte / 2; ++i) {
    manyWords += u"a ";
  }
  EXPECT_EQ(SplitLanguageFields(manyWords, LanguageEntryFields).size(), 3u);
  EXPECT_EQ(SplitLanguageFields(manyWords).size(), Megabyte / 2);
}

TEST(VisitLanguageEntries, SkipsEmptyLinesAndStopsWhenAsked) {
  const std::u16string text = u"a, b, \"c\", d\r\n\r\n  \r\nx, y\r\nstop\r\nafter, it";
  std::vector<std::vector<std::u16string>> seen;
  VisitLanguageEntries(text, [&](const std::vector<std::u16string>& fields) {
    seen.push_back(fields);
    return fields.empty() || fields[0] != u"stop";
  });
  const std::vector<std::vector<std::u16string>> expected = {
      {u"a", u"b", u"c"}, {}, {u"x", u"y"}, {u"stop"}};
  EXPECT_EQ(seen, expected);
}

}  // namespace
