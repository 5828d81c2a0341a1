#include "tray/CustomTrayIconImage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/base/Text.h"
#include "tests/fakes/FakeIconFactory.h"

namespace {

// Distinct colours, so every pixel tells what painted it.
constexpr std::u16string_view Background = u"clNavy";  // 0x800000
constexpr std::u16string_view Grid = u"clRed";         // 0x0000FF
constexpr std::u16string_view Bar = u"clLime";         // 0x00FF00

// One character per pixel: L and D the frame tones, . background, # grid, | bar.
std::vector<std::string> Art(const IconPicture& picture) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < picture.Height(); ++y) {
    std::string row;
    for (int32_t x = 0; x < picture.Width(); ++x) {
      switch (picture.Pixel(x, y)) {
        case 0x3A3837:
          row += 'L';
          break;
        case 0x2C2B29:
          row += 'D';
          break;
        case 0x800000:
          row += '.';
          break;
        case 0x0000FF:
          row += '#';
          break;
        case 0x00FF00:
          row += '|';
          break;
        default:
          row += '?';
      }
    }
    rows.push_back(row);
  }
  return rows;
}

struct Renderer {
  FakeIconFactory factory;
  CustomTrayIconImage image{factory};

  IconHandle Render(int32_t percent, std::u16string_view background = Background,
                    std::u16string_view grid = Grid, std::u16string_view bar = Bar) {
    return image.RenderUsageIcon(background, grid, bar, percent);
  }
  // One successful picture, released as the monitor tick does.
  const IconPicture& Picture(int32_t percent) {
    const IconHandle icon = Render(percent);
    EXPECT_NE(icon, nullptr);
    image.ReleaseUsageIcon();
    return factory.LastPicture();
  }
};

// The first row of the bar in column x, or -1 when the column has none.
int32_t BarTop(const IconPicture& picture, int32_t x) {
  for (int32_t y = 0; y < picture.Height(); ++y) {
    if (picture.Pixel(x, y) == 0x00FF00) {
      return y;
    }
  }
  return -1;
}

TEST(RenderUsageIcon, FirstTwoPicturesOf16x16) {
  Renderer r;
  const std::vector<std::string> first = {
      "LLLLLLLLLLLLLLLL", "L..#..#..#..#..L", "L..#..#..#..#..L", "L##############L",
      "L..#..#..#..#..L", "L..#..#..#..#..L", "L##############L", "L..#..#..#..#||L",
      "L..#..#..#..#||L", "L############||L", "D..#..#..#..#||D", "D..#..#..#..#||D",
      "D############||D", "D..#..#..#..#||D", "D..#..#..#..#||D", "DDDDDDDDDDDDDDDD",
  };
  EXPECT_EQ(Art(r.Picture(50)), first);
  const std::vector<std::string> second = {
      "LLLLLLLLLLLLLLLL", "L.#..#..#..#..#L", "L.#..#..#..#..#L", "L##############L",
      "L.#..#..#..#..#L", "L.#..#..#..#..#L", "L##############L", "L.#..#..#..#|.#L",
      "L.#..#..#..#|.#L", "L###########|##L", "D.#..#..#..#|.#D", "D.#..#..#..#|||D",
      "D###########|||D", "D.#..#..#..#|||D", "D.#..#..#..#|||D", "DDDDDDDDDDDDDDDD",
  };
  EXPECT_EQ(Art(r.Picture(30)), second);
}

TEST(RenderUsageIcon, GridColumnsFollowThePhaseAndRowsStayPut) {
  Renderer r;
  const std::vector<std::set<int32_t>> columns = {
      {3, 6, 9, 12}, {2, 5, 8, 11, 14}, {1, 4, 7, 10, 13}, {3, 6, 9, 12}, {2, 5, 8, 11, 14}};
  const std::vector<int32_t> phases = {3, 2, 1, 3, 2};
  for (size_t call = 0; call < columns.size(); ++call) {
    EXPECT_EQ(r.image.GridPhase(), phases[call]);
    const IconPicture& p = r.Picture(0);
    std::set<int32_t> gridColumns;
    std::set<int32_t> gridRows;
    for (int32_t x = 0; x < 16; ++x) {
      if (p.Pixel(x, 1) == 0x0000FF) {
        gridColumns.insert(x);
      }
    }
    // Column 1 or 2 is never a grid column in the same picture.
    const int32_t plain = columns[call].count(1) ? 2 : 1;
    for (int32_t y = 0; y < 16; ++y) {
      if (p.Pixel(plain, y) == 0x0000FF) {
        gridRows.insert(y);
      }
    }
    EXPECT_EQ(gridColumns, columns[call]) << "call " << call + 1;
    EXPECT_EQ(gridRows, (std::set<int32_t>{3, 6, 9, 12})) << "call " << call + 1;
  }
}

TEST(RenderUsageIcon, BarTopRoundsHalfToEvenAndStaysInside) {
  struct Case {
    int32_t height;
    int32_t percent;
    int32_t top;
  };
  const Case cases[] = {
      {16, 10, 13},       {16, 30, 11},        {16, 50, 7},  {16, 70, 5},  {16, 90, 1},
      {16, 0, 14},        {16, 100, 1},        {16, 150, 1}, {16, -1, 14}, {16, -50, 14},
      {16, INT32_MAX, 1}, {16, INT32_MIN, 14}, {20, 50, 9},  {64, 50, 31}, {64, 1, 62},
      {64, 99, 1},        {3, 50, 1},          {24, 25, 17},
  };
  for (const auto& c : cases) {
    Renderer r;
    r.factory.metrics = {16, c.height};
    const IconPicture& p = r.Picture(c.percent);
    EXPECT_EQ(r.image.UsageHistory()[14], c.top) << c.height << " px, " << c.percent << " %";
    EXPECT_EQ(BarTop(p, 14), c.top) << c.height << " px, " << c.percent << " %";
    EXPECT_EQ(p.Pixel(14, c.height - 2), 0x00FF00u) << "bar reaches the last interior row";
  }
}

TEST(RenderUsageIcon, HistoryMovesLeftAndNewestStandsTwice) {
  Renderer r;
  r.Picture(50);
  r.Picture(30);
  r.Picture(100);
  const auto& h = r.image.UsageHistory();
  EXPECT_EQ(std::vector<int32_t>(h.begin(), h.begin() + 16),
            (std::vector<int32_t>{63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 7, 11, 1, 1, 63}));
  for (int32_t i = 16; i < 64; ++i) {
    EXPECT_EQ(h[i], 63) << "entries beyond the picture stay untouched";
  }
  const IconPicture& p = r.factory.LastPicture();
  EXPECT_EQ(BarTop(p, 11), 7);
  EXPECT_EQ(BarTop(p, 12), 11);
  EXPECT_EQ(BarTop(p, 13), 1);
  EXPECT_EQ(BarTop(p, 10), -1);
}

TEST(RenderUsageIcon, FrameTonesMeetAtRowTen) {
  struct Case {
    int32_t width, height;
  };
  for (const Case c : {Case{16, 16}, Case{64, 64}, Case{20, 12}, Case{8, 8}, Case{5, 11}}) {
    Renderer r;
    r.factory.metrics = {c.width, c.height};
    const IconPicture& p = r.Picture(0);
    ASSERT_EQ(p.Width(), c.width);
    ASSERT_EQ(p.Height(), c.height);
    for (int32_t y = 0; y < c.height; ++y) {
      const uint32_t tone = y < 10 ? 0x3A3837 : 0x2C2B29;
      EXPECT_EQ(p.Pixel(0, y), tone) << c.width << "x" << c.height << " row " << y;
      EXPECT_EQ(p.Pixel(c.width - 1, y), tone) << c.width << "x" << c.height << " row " << y;
    }
    const uint32_t bottom = c.height - 1 < 10 ? 0x3A3837 : 0x2C2B29;
    for (int32_t x = 0; x < c.width; ++x) {
      EXPECT_EQ(p.Pixel(x, 0), 0x3A3837u);
      EXPECT_EQ(p.Pixel(x, c.height - 1), bottom);
    }
  }
}

TEST(RenderUsageIcon, PictureSizeFromSmallIconMetrics) {
  struct Case {
    SmallIconMetrics metrics;
    int32_t width, height;
  };
  const Case cases[] = {
      {{16, 16}, 16, 16}, {{20, 20}, 20, 20}, {{65, 65}, 64, 64}, {{72, 16}, 64, 64},
      {{16, 72}, 64, 64}, {{64, 64}, 64, 64}, {{24, 16}, 24, 16}, {{0, 0}, 4, 3},
      {{-5, 2}, 4, 3},    {{3, 16}, 4, 16},   {{16, 1}, 16, 3},   {{INT32_MIN, 70}, 64, 64},
  };
  for (const auto& c : cases) {
    Renderer r;
    r.factory.metrics = c.metrics;
    const IconPicture& p = r.Picture(50);
    EXPECT_EQ(p.Width(), c.width) << c.metrics.cx << "x" << c.metrics.cy;
    EXPECT_EQ(p.Height(), c.height) << c.metrics.cx << "x" << c.metrics.cy;
    EXPECT_EQ(BarTop(p, c.width - 2), r.image.UsageHistory()[c.width - 2]);
  }
}

TEST(RenderUsageIcon, MetricsChangeKeepsHistoryUnscaled) {
  Renderer r;
  r.factory.metrics = {64, 64};
  // After 61 pictures entry j holds the top of picture j: 1 for the first ten, then 62, which
  // lies below any 16-pixel picture.
  for (int i = 1; i <= 61; ++i) {
    r.Picture(i <= 10 ? 100 : 0);
  }
  r.factory.metrics = {16, 16};
  const IconPicture& p = r.Picture(50);
  for (int32_t x = 1; x <= 14; ++x) {
    const int32_t expected = x <= 9 ? 1 : (x >= 13 ? 7 : -1);
    EXPECT_EQ(BarTop(p, x), expected) << "column " << x;
  }
}

TEST(RenderUsageIcon, ColourValuesAsDrawn) {
  struct Case {
    std::u16string_view name;
    uint32_t drawn;
    std::vector<int32_t> sysColorQueries;
  };
  const Case cases[] = {
      {u"clBtnFace", 0x123456, {15}},
      {u"$FF00000F", 0x123456, {15}},
      {u"clHotLight", 0x00ABCD, {26}},
      {u"$800000FF", 0, {255}},  // no such index: GetSysColor gives 0
      {u"$FFFFFF1A", 0x00ABCD, {26}},
      {u"clNone", 0xFFFFFF, {}},  // neither plain nor system: the low three bytes
      {u"clDefault", 0x000000, {}},
      {u"$12345678", 0x345678, {}},
      {u"$7F00FF00", 0x00FF00, {}},
      {u"65280", 0x00FF00, {}},
  };
  for (const auto& c : cases) {
    Renderer r;
    r.factory.sysColors = {{15, 0x123456}, {26, 0xFF00ABCD}};
    ASSERT_NE(r.Render(50, c.name), nullptr) << ToUtf8(c.name);
    EXPECT_EQ(r.factory.LastPicture().Pixel(1, 1), c.drawn) << ToUtf8(c.name);
    EXPECT_EQ(r.factory.sysColorQueries, c.sysColorQueries) << ToUtf8(c.name);
  }
}

TEST(RenderUsageIcon, SystemColourIsReadAtEachPicture) {
  Renderer r;
  r.factory.sysColors[5] = 0x010203;
  r.Render(50, u"clWindow");
  r.image.ReleaseUsageIcon();
  r.factory.sysColors[5] = 0x040506;
  r.Render(50, u"clWindow");
  EXPECT_EQ(r.factory.pictures[0].Pixel(1, 1), 0x010203u);
  EXPECT_EQ(r.factory.pictures[1].Pixel(1, 1), 0x040506u);
}

TEST(RenderUsageIcon, FailureKeepsPhaseAndHistoryAsFarAsItGot) {
  struct Case {
    const char* what;
    std::u16string_view background, grid, bar;
    bool failCreate;
    bool historyChanged;
  };
  const Case cases[] = {
      {"misspelt background", u"clLimee", Grid, Bar, false, false},
      {"empty grid", Background, u"", Bar, false, false},
      {"bar 12abc", Background, Grid, u"12abc", false, true},
      {"empty bar", Background, Grid, u"", false, true},
      {"icon not made", Background, Grid, Bar, true, true},
  };
  for (const auto& c : cases) {
    Renderer r;
    r.Picture(50);
    const auto before = r.image.UsageHistory();
    r.factory.failCreate = c.failCreate;
    EXPECT_EQ(r.image.RenderUsageIcon(c.background, c.grid, c.bar, 30), nullptr) << c.what;
    EXPECT_EQ(r.image.GridPhase(), 2) << c.what;
    auto moved = before;
    moved[14] = 11;
    moved[13] = 11;
    moved[12] = 7;
    EXPECT_EQ(r.image.UsageHistory(), c.historyChanged ? moved : before) << c.what;
    // Nothing is left to release, and the next picture draws the same grid the failed one would.
    r.image.ReleaseUsageIcon();
    EXPECT_TRUE(r.factory.live.empty()) << c.what;
    r.factory.failCreate = false;
    const IconPicture& next = r.Picture(0);
    EXPECT_EQ(next.Pixel(2, 1), 0x0000FFu) << c.what;
    EXPECT_EQ(next.Pixel(3, 1), 0x800000u) << c.what;
  }
}

TEST(RenderUsageIcon, NameOnlyConvertedWhenAPixelNeedsIt) {
  // A 4 x 4 picture has interior columns 1 and 2 and no grid row: phase 3 draws no grid pixel.
  Renderer r;
  r.factory.metrics = {4, 4};
  EXPECT_NE(r.Render(50, Background, u"no colour"), nullptr);
  r.image.ReleaseUsageIcon();
  EXPECT_EQ(r.Render(50, Background, u"no colour"), nullptr);
  EXPECT_EQ(r.image.GridPhase(), 2);
}

TEST(RenderUsageIcon, NestedCallReturnsNoneAndChangesNothing) {
  Renderer r;
  IconHandle nested = reinterpret_cast<IconHandle>(1);
  std::array<int32_t, 64> historyInside{};
  r.factory.onCreateIcon = [&] {
    historyInside = r.image.UsageHistory();
    nested = r.Render(100);
  };
  const IconHandle outer = r.Render(50);
  EXPECT_NE(outer, nullptr);
  EXPECT_EQ(nested, nullptr);
  EXPECT_EQ(r.image.UsageHistory(), historyInside);
  EXPECT_EQ(r.image.GridPhase(), 2);
  EXPECT_EQ(r.factory.pictures.size(), 1u);
  // The flag is down again, after success and after failure alike.
  r.factory.onCreateIcon = nullptr;
  r.image.ReleaseUsageIcon();
  EXPECT_EQ(r.Render(50, u"bad"), nullptr);
  EXPECT_NE(r.Render(50), nullptr);
}

TEST(ReleaseUsageIcon, DestroysTheLastIconOnce) {
  Renderer r;
  r.image.ReleaseUsageIcon();
  EXPECT_TRUE(r.factory.destroyed.empty());
  const IconHandle icon = r.Render(50);
  r.image.ReleaseUsageIcon();
  r.image.ReleaseUsageIcon();
  EXPECT_EQ(r.factory.destroyed, std::vector<IconHandle>{icon});
  EXPECT_EQ(r.factory.badDestroys, 0);
}

TEST(ReleaseUsageIcon, SwallowsFailureAndForgetsTheIcon) {
  Renderer r;
  r.Render(50);
  r.factory.failDestroy = true;
  EXPECT_NO_THROW(r.image.ReleaseUsageIcon());
  r.image.ReleaseUsageIcon();
  EXPECT_EQ(r.factory.destroyed.size(), 1u);
}

TEST(ReleaseUsageIcon, UnreleasedIconIsNotLeaked) {
  FakeIconFactory factory;
  IconHandle first;
  {
    CustomTrayIconImage image(factory);
    first = image.RenderUsageIcon(Background, Grid, Bar, 50);
    const IconHandle second = image.RenderUsageIcon(Background, Grid, Bar, 50);
    EXPECT_EQ(factory.destroyed, std::vector<IconHandle>{first});
    EXPECT_EQ(factory.live, std::set<IconHandle>{second});
  }
  EXPECT_TRUE(factory.live.empty());
  EXPECT_EQ(factory.badDestroys, 0);
}

}  // namespace
