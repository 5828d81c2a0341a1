#include "tray/CustomTrayIconImage.h"

#include <stdexcept>
#include <utility>

#include "foundation/base/Guard.h"

CustomTrayIconImage::~CustomTrayIconImage() {
  ReleaseUsageIcon();
}

IconHandle CustomTrayIconImage::RenderUsageIcon(std::u16string_view background,
                                                std::u16string_view grid, std::u16string_view bar,
                                                int32_t percent) {
  // A nested call on the same thread, not a second thread: a plain flag is enough.
  if (rendering_) {
    return nullptr;
  }
  rendering_ = true;
  const IconHandle icon =
      guarded_or<IconHandle>(nullptr, [&] { return Draw(background, grid, bar, percent); });
  rendering_ = false;
  return icon;
}

IconHandle CustomTrayIconImage::Draw(std::u16string_view background, std::u16string_view grid,
                                     std::u16string_view bar, int32_t percent) {
  const IconPicture picture = graph_.Draw(UsageIconSizeFor(factory_.GetSmallIconMetrics()),
                                          background, grid, bar, percent, factory_);
  const IconHandle icon = factory_.CreateIcon(picture);
  if (icon == nullptr) {
    throw std::runtime_error("no icon");
  }
  KeepAsLastIcon(icon);
  graph_.Advance();
  return icon;
}

void CustomTrayIconImage::KeepAsLastIcon(IconHandle icon) {
  // The renderer owns its last icon; one that the caller never released would otherwise leak.
  ReleaseUsageIcon();
  lastIcon_ = icon;
}

void CustomTrayIconImage::ReleaseUsageIcon() {
  const IconHandle icon = std::exchange(lastIcon_, nullptr);
  if (icon != nullptr) {
    guarded([&] { factory_.DestroyIcon(icon); });
  }
}
