// The usage graph's colour names and numbers.
#include "foundation/UsageGraph.h"

#include <gtest/gtest.h>

#include <optional>

#include "foundation/base/Text.h"

namespace {

TEST(ColorFromName, NamesIgnoreCaseOfAToZOnly) {
  struct Case {
    std::u16string_view text;
    std::optional<uint32_t> value;
  };
  auto rgb = [](uint32_t red, uint32_t green, uint32_t blue) {
    return red | green << 8 | blue << 16;
  };
  const Case cases[] = {
      {u"clBlack", rgb(0, 0, 0)},
      {u"clMaroon", rgb(128, 0, 0)},
      {u"clOlive", rgb(128, 128, 0)},
      {u"clNavy", rgb(0, 0, 128)},
      {u"clSilver", rgb(192, 192, 192)},
      {u"clYellow", rgb(255, 255, 0)},
      {u"clAqua", rgb(0, 255, 255)},
      {u"clMoneyGreen", rgb(192, 220, 192)},
      {u"clSkyBlue", rgb(166, 202, 240)},
      {u"clCream", rgb(255, 251, 240)},
      {u"clMedGray", rgb(160, 160, 164)},
      {u"CLLIME", rgb(0, 255, 0)},
      {u"cllime", rgb(0, 255, 0)},
      {u"cLlImE", rgb(0, 255, 0)},
      {u"clScrollBar", 0xFF000000},
      {u"clbtnface", 0xFF00000F},
      {u"clInfoBk", 0xFF000018},
      {u"clHotLight", 0xFF00001A},
      {u"CL3DDKSHADOW", 0xFF000015},
      {u"clMenuBar", 0xFF00001E},
      {u"clNone", 0x1FFFFFFF},
      {u"CLDEFAULT", 0x20000000},
      {u"clLimee", std::nullopt},
      {u"clLime ", std::nullopt},
      {u" clLime", std::nullopt},
      {u"cl\u0131me", std::nullopt},  // dotless i is not an ASCII letter
      {u"\uFF43lLime", std::nullopt},
      {std::u16string_view(u"clLime\0", 7), std::nullopt},
      {u"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ColorFromName(c.text), c.value) << ToUtf8(c.text);
  }
}

TEST(ColorFromName, NumbersInDecimalAndHexadecimal) {
  struct Case {
    std::u16string_view text;
    std::optional<uint32_t> value;
  };
  const Case cases[] = {
      {u"$00FF00", 0xFF00},
      {u"65280", 0xFF00},
      {u"$0000FF", 0xFF},
      {u"255", 0xFF},
      {u"0x00ff00", 0xFF00},
      {u"0XFf00", 0xFF00},
      {u"xff00", 0xFF00},
      {u"XFF00", 0xFF00},
      {u"$FF00000F", 0xFF00000F},
      {u"$FFFFFFFF", 0xFFFFFFFF},
      {u"$00000001", 1},
      {u"0", 0},
      {u"000255", 255},
      {u"  255", 255},
      {u"  -$1", 0xFFFFFFFF},
      {u"+255", 255},
      {u"+$FF", 255},
      {u"-1", 0xFFFFFFFF},
      {u"-16777201", 0xFF00000F},
      {u"2147483647", 0x7FFFFFFF},
      {u"-2147483648", 0x80000000},
      {u"-0x80000000", 0x80000000},
      {u"2147483648", std::nullopt},
      {u"-2147483649", std::nullopt},
      {u"4294967295", std::nullopt},
      {u"99999999999999999999999", std::nullopt},
      {u"$100000000", std::nullopt},
      {u"$0000000FF", std::nullopt},
      {u"$", std::nullopt},
      {u"0x", std::nullopt},
      {u"x", std::nullopt},
      {u"$FG", std::nullopt},
      {u"0x-1", std::nullopt},
      {u"00x1", std::nullopt},
      {u"12abc", std::nullopt},
      {u"255 ", std::nullopt},
      {u"\t255", std::nullopt},
      {u"- 5", std::nullopt},
      {u"--5", std::nullopt},
      {u"+-5", std::nullopt},
      {u"-", std::nullopt},
      {u" ", std::nullopt},
      {u"\uFF12\uFF15\uFF15", std::nullopt},  // full-width digits
      {u"$\uFF26F", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ColorFromName(c.text), c.value) << ToUtf8(c.text);
  }
}

}  // namespace
