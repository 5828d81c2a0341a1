#include "tray/CustomTrayIconImage.h"

#include <stdexcept>
#include <utility>

#include "foundation/base/Guard.h"

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
  OwnedIcon<IconFactoryPort> icon(factory_, factory_.CreateIcon(picture));
  if (icon.get() == nullptr) {
    throw std::runtime_error("no icon");
  }
  ReleaseUsageIcon();
  lastIcon_ = std::move(icon);
  graph_.Advance();
  return lastIcon_.get();
}

void CustomTrayIconImage::ReleaseUsageIcon() {
  guarded([&] { lastIcon_.reset(); });
}
