// The usage-graph icon through the real GDI under Wine: pixels as drawn, opacity, and no handle or
// memory left behind by render-and-release cycles.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "foundation/base/win32/UniqueHandle.h"
#include "tray/CustomTrayIconImage.h"
#include "tray/win32/Win32IconFactory.h"
#include "win32/support/ProcessCounters.h"
#include "win32/support/SizedIconFactory.h"

namespace {

struct DrawnIcon {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00BBGGRR, row by row from the top
  uint32_t At(int x, int y) const { return pixels.at(static_cast<size_t>(y * width + x)); }
};

// Draws the icon over a magenta 32-bit surface and reads the surface back: a pixel the mask let
// through would stay magenta.
DrawnIcon Draw(HICON icon) {
  ICONINFO info{};
  EXPECT_TRUE(GetIconInfo(icon, &info));
  const UniqueHBitmap color(info.hbmColor);
  const UniqueHBitmap mask(info.hbmMask);
  BITMAP bm{};
  EXPECT_TRUE(GetObjectW(color.get(), sizeof(bm), &bm));
  DrawnIcon out{bm.bmWidth, bm.bmHeight, {}};

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = out.width;
  bi.bmiHeader.biHeight = -out.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const UniqueHBitmap surface(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueScreenDC screen(GetDC(nullptr));
  const UniqueMemoryDC dc(CreateCompatibleDC(screen.get()));
  EXPECT_TRUE(surface && dc);
  {
    const SelectedObject selected(dc.get(), surface.get());
    EXPECT_TRUE(selected);
    auto* p = static_cast<uint32_t*>(bits);
    std::fill(p, p + out.width * out.height, 0x00FF00FFu);
    EXPECT_TRUE(DrawIconEx(dc.get(), 0, 0, icon, out.width, out.height, 0, nullptr, DI_NORMAL));
    GdiFlush();
    for (int i = 0; i < out.width * out.height; ++i) {
      const uint32_t v = p[i];  // 0x00RRGGBB in memory order B, G, R
      out.pixels.push_back(((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16));
    }
  }
  return out;
}

TEST(Win32IconFactory, MetricsAndSystemColoursAreTheSystemsOwn) {
  Win32IconFactory factory;
  const SmallIconMetrics m = factory.GetSmallIconMetrics();
  EXPECT_EQ(m.cx, GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(m.cy, GetSystemMetrics(SM_CYSMICON));
  for (int index : {COLOR_BTNFACE, COLOR_WINDOW, COLOR_HIGHLIGHT, COLOR_MENUBAR}) {
    EXPECT_EQ(factory.GetSysColor(index), GetSysColor(index)) << index;
  }
}

TEST(Win32IconFactory, IconShowsEveryPixelOpaque) {
  struct Size {
    int32_t w, h;
  };
  for (const Size size : {Size{16, 16}, Size{20, 12}, Size{64, 64}, Size{4, 3}, Size{17, 33}}) {
    IconPicture picture(size.w, size.h);
    for (int32_t y = 0; y < size.h; ++y) {
      for (int32_t x = 0; x < size.w; ++x) {
        // Every channel varies, black and white included, none is magenta.
        picture.SetPixel(x, y,
                         static_cast<uint32_t>((x * 37 + y * 11) % 256) |
                             static_cast<uint32_t>((x * 5 + y * 3) % 256) << 8 |
                             static_cast<uint32_t>((255 - x * 4) % 256) << 16);
      }
    }
    picture.SetPixel(0, 0, 0x000000);
    picture.SetPixel(1, 0, 0xFFFFFF);
    Win32IconFactory factory;
    const UniqueHIcon icon(static_cast<HICON>(factory.CreateIcon(picture)));
    ASSERT_TRUE(icon);

    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    const UniqueHBitmap color(info.hbmColor);
    const UniqueHBitmap mask(info.hbmMask);
    EXPECT_TRUE(info.fIcon);
    ASSERT_TRUE(color);

    const DrawnIcon drawn = Draw(icon.get());
    ASSERT_EQ(drawn.width, size.w);
    ASSERT_EQ(drawn.height, size.h);
    for (int32_t y = 0; y < size.h; ++y) {
      for (int32_t x = 0; x < size.w; ++x) {
        ASSERT_EQ(drawn.At(x, y), picture.Pixel(x, y))
            << size.w << "x" << size.h << " at " << x << "," << y;
      }
    }
  }
}

TEST(Win32IconFactory, DestroyIconEndsTheIcon) {
  Win32IconFactory factory;
  const IconHandle icon = factory.CreateIcon(IconPicture(16, 16));
  factory.DestroyIcon(icon);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(static_cast<HICON>(icon), &info));
  EXPECT_THROW(factory.DestroyIcon(icon), std::system_error);
}

TEST(CustomTrayIconImage, RendersThroughGdi) {
  Win32IconFactory factory;
  CustomTrayIconImage image(factory);
  image.RenderUsageIcon(u"clBlack", u"clGreen", u"clLime", 50);
  image.ReleaseUsageIcon();
  const IconHandle icon = image.RenderUsageIcon(u"clBtnFace", u"$0000FF", u"clLime", 30);
  ASSERT_NE(icon, nullptr);
  const DrawnIcon drawn = Draw(static_cast<HICON>(icon));
  const int w = GetSystemMetrics(SM_CXSMICON);
  const int h = GetSystemMetrics(SM_CYSMICON);
  ASSERT_EQ(drawn.width, w);
  ASSERT_EQ(drawn.height, h);
  EXPECT_EQ(drawn.At(0, 0), 0x3A3837u);
  EXPECT_EQ(drawn.At(0, h - 1), 0x2C2B29u);
  EXPECT_EQ(drawn.At(1, 1), GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
  EXPECT_EQ(drawn.At(2, 1), 0x0000FFu);  // phase 2 on the second picture
  EXPECT_EQ(drawn.At(w - 2, h - 2), 0x00FF00u);
  image.ReleaseUsageIcon();
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(static_cast<HICON>(icon), &info)) << "released icon still alive";
}

using wine_test::ProcessCounters;
using wine_test::SizedIconFactory;

bool Cycle(CustomTrayIconImage& image, int i) {
  const IconHandle icon = image.RenderUsageIcon(u"clBlack", u"clGreen", u"clLime", i % 101);
  image.ReleaseUsageIcon();
  return icon != nullptr;
}

TEST(CustomTrayIconImage, CountersSeeALeakedIcon) {
  // The counts below are only worth something if they move when an icon does stay behind.
  Win32IconFactory factory;
  factory.DestroyIcon(factory.CreateIcon(IconPicture(16, 16)));
  const ProcessCounters before = wine_test::CountProcessResources();
  const IconHandle leaked = factory.CreateIcon(IconPicture(16, 16));
  const ProcessCounters during = wine_test::CountProcessResources();
  factory.DestroyIcon(leaked);
  const ProcessCounters after = wine_test::CountProcessResources();
  std::printf("counting with %s: GDI %lu -> %lu -> %lu, USER %lu -> %lu -> %lu\n",
              before.counted ? "handle-index scans" : "the system's counts", before.gdiObjects,
              during.gdiObjects, after.gdiObjects, before.userObjects, during.userObjects,
              after.userObjects);
  EXPECT_GT(during.gdiObjects, before.gdiObjects);
  EXPECT_GT(during.userObjects, before.userObjects);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.userObjects, before.userObjects);
}

TEST(CustomTrayIconImage, RenderAndReleaseLeaveNothingBehind) {
  Win32IconFactory factory;
  CustomTrayIconImage image(factory);
  // The first icons make Wine's and GDI's own caches, which stay.
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(Cycle(image, i));
  }
  const ProcessCounters before = wine_test::CountProcessResources();
  int failures = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10000; ++i) {
    failures += Cycle(image, i) ? 0 : 1;
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  const ProcessCounters after = wine_test::CountProcessResources();
  std::printf("10000 render-and-release cycles, %.1f us each\n", us / 10000);
  std::printf("GDI objects %lu -> %lu, USER objects %lu -> %lu, handles %lu -> %lu (%s)\n",
              before.gdiObjects, after.gdiObjects, before.userObjects, after.userObjects,
              before.handles, after.handles,
              before.counted ? "handle-index scans" : "the system's counts");
  std::printf("private bytes %llu -> %llu\n", static_cast<unsigned long long>(before.privateBytes),
              static_cast<unsigned long long>(after.privateBytes));
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.userObjects, before.userObjects);
  EXPECT_EQ(after.handles, before.handles);
  // 10 000 leaked DIB sections alone would be 40 MB of pages.
  EXPECT_LT(after.privateBytes, before.privateBytes + 4 * 1024 * 1024);
}

// Figures, not limits: what one picture costs from the colour names to the finished icon.
TEST(CustomTrayIconImage, RenderToIconFigures) {
  for (const int32_t side : {16, 64}) {
    SizedIconFactory factory(side);
    CustomTrayIconImage image(factory);
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(Cycle(image, i));
    }
    const int cycles = 1000;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < cycles; ++i) {
      failures += Cycle(image, i) ? 0 : 1;
    }
    const double us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d x %d: render to icon and release %.1f us per picture\n", side, side,
                us / cycles);
    EXPECT_EQ(failures, 0);
  }
}

}  // namespace
