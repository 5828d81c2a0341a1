// Prints the render-to-icon time of the usage graph through the real GDI (run under Wine by the
// benchmark command): the picture drawn by the renderer, made into an icon and destroyed again,
// at 16 x 16 and at 64 x 64 whatever the display's small-icon size.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "tray/CustomTrayIconImage.h"
#include "tests/win32/support/SizedIconFactory.h"

namespace {

using wine_test::SizedIconFactory;

void Measure(const char* label, int32_t side, int iterations) {
  SizedIconFactory factory(side);
  CustomTrayIconImage image(factory);
  int failures = 0;
  const auto cycle = [&](int i) {
    failures += image.RenderUsageIcon(u"clBlack", u"clGreen", u"clLime", i % 101) ? 0 : 1;
    image.ReleaseUsageIcon();
  };
  // The first icons fill Wine's and GDI's caches.
  for (int i = 0; i < iterations / 10; ++i) {
    cycle(i);
  }
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) {
    cycle(i);
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-48s %10.2f us/op\n", label, us / iterations);
  if (failures != 0) {
    std::printf("(%d renders gave no icon)\n", failures);
  }
}

}  // namespace

int wmain() {
  std::printf("usage graph rendered to an icon and released, real GDI\n");
  Measure("render and release, 16 x 16", 16, 1000);
  Measure("render and release, 64 x 64", 64, 300);
  return 0;
}
