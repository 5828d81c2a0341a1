#pragma once
// The usage-graph renderer drawing for a window instead of the notification area: the "icon" it
// makes is its picture, kept here, so the window can paint it at any size with the renderer's own
// pixels.
#include <windows.h>

#include <optional>

#include "tray/IconFactoryPort.h"

class PictureKeeper : public IconFactoryPort {
 public:
  explicit PictureKeeper(int32_t side) : side_(side) {}

  SmallIconMetrics GetSmallIconMetrics() override { return {side_, side_}; }
  uint32_t GetSysColor(int32_t index) override { return ::GetSysColor(index); }
  IconHandle CreateIcon(const IconPicture& picture) override;
  void DestroyIcon(IconHandle) override {}

  // The last picture, nothing after a failed one.
  const std::optional<IconPicture>& Picture() const { return picture_; }
  void Forget() { picture_.reset(); }

 private:
  int32_t side_;
  std::optional<IconPicture> picture_;
};

// Paints the picture stretched to the rectangle, pixel for pixel scaled without smoothing.
void PaintPicture(HDC dc, const RECT& target, const IconPicture& picture);
