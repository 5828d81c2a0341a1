// Cost of one usage-graph picture in the portable renderer, over an icon port that keeps no
// pictures and allocates nothing, so the figures are the renderer's own.
#include <cstdint>
#include <cstdio>

#include "support/AllocationCounter.h"
#include "tray/CustomTrayIconImage.h"

namespace {

class NullIconFactory : public IconFactoryPort {
 public:
  explicit NullIconFactory(SmallIconMetrics metrics) : metrics_(metrics) {}
  SmallIconMetrics GetSmallIconMetrics() override { return metrics_; }
  uint32_t GetSysColor(int32_t index) override { return static_cast<uint32_t>(index) * 0x010101u; }
  IconHandle CreateIcon(const IconPicture& picture) override {
    // Reads the picture, so the drawing cannot be optimised away.
    checksum += picture.Pixels()[picture.Pixels().size() / 2];
    return &checksum;
  }
  void DestroyIcon(IconHandle) override {}

  uint32_t checksum = 0;

 private:
  SmallIconMetrics metrics_;
};

void RenderAndRelease(const char* label, SmallIconMetrics metrics, std::u16string_view background,
                      std::u16string_view grid, std::u16string_view bar, uint64_t iterations) {
  NullIconFactory factory(metrics);
  CustomTrayIconImage image(factory);
  int32_t percent = 0;
  bench::Measure(label, iterations, [&] {
    image.RenderUsageIcon(background, grid, bar, percent);
    image.ReleaseUsageIcon();
    percent = (percent + 7) % 101;
  });
  if (factory.checksum == 0x12345678) {
    std::printf("(checksum)\n");
  }
}

}  // namespace

int main() {
  std::printf("usage-graph renderer, core only (icon port that keeps nothing)\n");
  RenderAndRelease("16 x 16, named colours", {16, 16}, u"clBlack", u"clGreen", u"clLime", 200000);
  RenderAndRelease("16 x 16, system colour and numbers", {16, 16}, u"clBtnFace", u"$008000",
                   u"65280", 200000);
  RenderAndRelease("64 x 64, named colours", {64, 64}, u"clBlack", u"clGreen", u"clLime", 20000);
  RenderAndRelease("64 x 64 (metrics 72 x 16), named colours", {72, 16}, u"clWhite", u"clGray",
                   u"clGreen", 20000);
  volatile uint32_t sink = 0;
  bench::Measure("ColorFromName (\"clGradientInactiveCaption\")", 1000000,
                 [&] { sink = *ColorFromName(u"clGradientInactiveCaption"); });
  bench::Measure("ColorFromName (\"$FF00000F\")", 1000000,
                 [&] { sink = *ColorFromName(u"$FF00000F"); });
  return sink == 12345 ? 1 : 0;
}
