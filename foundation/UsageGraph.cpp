#include "foundation/UsageGraph.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "foundation/base/Rounding.h"
#include "foundation/base/Text.h"

namespace {

constexpr uint32_t SystemColor = 0xFF000000;

struct NamedColorValue {
  std::u16string_view name;
  uint32_t value;
};

constexpr NamedColorValue ColorTable[] = {
    {u"clBlack", 0x000000},
    {u"clMaroon", 0x000080},
    {u"clGreen", 0x008000},
    {u"clOlive", 0x008080},
    {u"clNavy", 0x800000},
    {u"clPurple", 0x800080},
    {u"clTeal", 0x808000},
    {u"clGray", 0x808080},
    {u"clSilver", 0xC0C0C0},
    {u"clRed", 0x0000FF},
    {u"clLime", 0x00FF00},
    {u"clYellow", 0x00FFFF},
    {u"clBlue", 0xFF0000},
    {u"clFuchsia", 0xFF00FF},
    {u"clAqua", 0xFFFF00},
    {u"clWhite", 0xFFFFFF},
    {u"clMoneyGreen", 0xC0DCC0},
    {u"clSkyBlue", 0xF0CAA6},
    {u"clCream", 0xF0FBFF},
    {u"clMedGray", 0xA4A0A0},
    {u"clScrollBar", SystemColor | 0},
    {u"clBackground", SystemColor | 1},
    {u"clActiveCaption", SystemColor | 2},
    {u"clInactiveCaption", SystemColor | 3},
    {u"clMenu", SystemColor | 4},
    {u"clWindow", SystemColor | 5},
    {u"clWindowFrame", SystemColor | 6},
    {u"clMenuText", SystemColor | 7},
    {u"clWindowText", SystemColor | 8},
    {u"clCaptionText", SystemColor | 9},
    {u"clActiveBorder", SystemColor | 10},
    {u"clInactiveBorder", SystemColor | 11},
    {u"clAppWorkSpace", SystemColor | 12},
    {u"clHighlight", SystemColor | 13},
    {u"clHighlightText", SystemColor | 14},
    {u"clBtnFace", SystemColor | 15},
    {u"clBtnShadow", SystemColor | 16},
    {u"clGrayText", SystemColor | 17},
    {u"clBtnText", SystemColor | 18},
    {u"clInactiveCaptionText", SystemColor | 19},
    {u"clBtnHighlight", SystemColor | 20},
    {u"cl3DDkShadow", SystemColor | 21},
    {u"cl3DLight", SystemColor | 22},
    {u"clInfoText", SystemColor | 23},
    {u"clInfoBk", SystemColor | 24},
    {u"clHotLight", SystemColor | 26},
    {u"clGradientActiveCaption", SystemColor | 27},
    {u"clGradientInactiveCaption", SystemColor | 28},
    {u"clMenuHighlight", SystemColor | 29},
    {u"clMenuBar", SystemColor | 30},
    {u"clNone", ColorNone},
    {u"clDefault", ColorDefault},
};

std::optional<uint32_t> HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return c - u'0';
  }
  if (c >= u'a' && c <= u'f') {
    return c - u'a' + 10;
  }
  if (c >= u'A' && c <= u'F') {
    return c - u'A' + 10;
  }
  return std::nullopt;
}

// One to eight digits, taken as a 32-bit pattern.
std::optional<uint32_t> HexPattern(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 8) {
    return std::nullopt;
  }
  uint32_t value = 0;
  for (char16_t c : digits) {
    const auto d = HexDigit(c);
    if (!d) {
      return std::nullopt;
    }
    value = (value << 4) | *d;
  }
  return value;
}

// The magnitude of a signed 32-bit number: at most 2^31 for a negative one, 2^31 - 1 otherwise.
std::optional<uint32_t> DecimalMagnitude(std::u16string_view digits, bool negative) {
  const uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  if (digits.empty()) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - u'0');
    if (value > limit) {
      return std::nullopt;
    }
  }
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> ColorFromNumber(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  const std::u16string_view rest = text.substr(i);
  std::optional<uint32_t> magnitude;
  if (rest.starts_with(u"0x") || rest.starts_with(u"0X")) {
    magnitude = HexPattern(rest.substr(2));
  } else if (rest.starts_with(u'$') || rest.starts_with(u'x') || rest.starts_with(u'X')) {
    magnitude = HexPattern(rest.substr(1));
  } else {
    magnitude = DecimalMagnitude(rest, negative);
  }
  if (!magnitude) {
    return std::nullopt;
  }
  // Two's complement, as the 32-bit number the text stands for.
  return negative ? 0u - *magnitude : *magnitude;
}

// A colour name turned into a plain colour when it is first needed, so a name that no pixel uses
// never fails the picture.
class LazyColor {
 public:
  LazyColor(std::u16string_view name, SystemColorsPort& colors) : name_(name), colors_(colors) {}

  uint32_t Get() {
    if (!converted_) {
      const auto value = ColorFromName(name_);
      if (!value) {
        throw std::invalid_argument("not a colour name or number");
      }
      plain_ = DrawingColor(*value, colors_);
      converted_ = true;
    }
    return plain_;
  }

 private:
  std::u16string_view name_;
  SystemColorsPort& colors_;
  // A flag and a plain value rather than std::optional: g++ -O2 cannot see that an optional
  // read after the throwing branch is always engaged and warns (maybe-uninitialized).
  bool converted_ = false;
  uint32_t plain_ = 0;
};

}  // namespace

std::optional<uint32_t> ColorFromName(std::u16string_view name) {
  for (const auto& entry : ColorTable) {
    if (EqualsIgnoreAsciiCase(name, entry.name)) {
      return entry.value;
    }
  }
  return ColorFromNumber(name);
}

uint32_t DrawingColor(uint32_t colorValue, SystemColorsPort& colors) {
  if ((colorValue & 0x80000000u) != 0) {
    return colors.GetSysColor(static_cast<int32_t>(colorValue & 0xFF)) & 0x00FFFFFF;
  }
  return colorValue & 0x00FFFFFF;
}

UsageIconSize UsageIconSizeFor(SmallIconMetrics metrics) {
  UsageIconSize size{metrics.cx, metrics.cy};
  if (metrics.cx > 64 || metrics.cy > 64) {
    size = {64, 64};
  }
  size.width = std::max(size.width, 4);
  size.height = std::max(size.height, 3);
  return size;
}

IconPicture UsageGraph::Draw(UsageIconSize size, std::u16string_view background,
                             std::u16string_view grid, std::u16string_view bar, int32_t percent,
                             SystemColorsPort& colors) {
  const auto [w, h] = size;
  IconPicture picture(w, h);

  LazyColor backgroundColor(background, colors);
  LazyColor gridColor(grid, colors);
  LazyColor barColor(bar, colors);

  // Frame, background and grid, column by column. The frame's two tones meet at row 10 whatever
  // the picture's height.
  for (int32_t x = 0; x < w; ++x) {
    for (int32_t y = 0; y < h; ++y) {
      if (x == 0 || x == w - 1 || y == 0 || y == h - 1) {
        picture.SetPixel(x, y, y < 10 ? LightFrameColor : DarkFrameColor);
        continue;
      }
      uint32_t color = backgroundColor.Get();
      const bool gridColumn = x >= phase_ && (x - phase_) % 3 == 0;
      const bool gridRow = y % 3 == 0;
      if (gridColumn || gridRow) {
        color = gridColor.Get();
      }
      picture.SetPixel(x, y, color);
    }
  }

  // The newest bar top, kept inside the interior.
  const int64_t r = RoundToInt64(static_cast<long double>(percent) * (h - 1) / 100);
  const int64_t v = std::clamp<int64_t>((h - 1) - r, 1, h - 2);
  history_[w - 2] = static_cast<int32_t>(v);
  for (int32_t i = 1; i <= w - 3; ++i) {
    history_[i] = history_[i + 1];
  }

  // Each bar runs from its top down to the row above the bottom frame. A top below that (kept
  // from a taller picture) reaches no row of this one.
  for (int32_t j = w - 2; j >= 1; --j) {
    const uint32_t color = barColor.Get();
    for (int32_t y = std::max(history_[j], 0); y < h - 1; ++y) {
      picture.SetPixel(j, y, color);
    }
  }

  return picture;
}
