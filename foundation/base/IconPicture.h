#pragma once
// The renderer's drawing surface: a w × h picture held row by row from the top, every pixel a
// plain colour 0x00BBGGRR (red in the lowest byte). Adapters turn it into an icon.
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint8_t RedOf(uint32_t color) {
  return static_cast<uint8_t>(color & 0xFF);
}
constexpr uint8_t GreenOf(uint32_t color) {
  return static_cast<uint8_t>((color >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(uint32_t color) {
  return static_cast<uint8_t>((color >> 16) & 0xFF);
}

class IconPicture {
 public:
  IconPicture(int32_t width, int32_t height)
      : width_(width),
        height_(height),
        pixels_(static_cast<size_t>(width) * static_cast<size_t>(height)) {}

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  uint32_t Pixel(int32_t x, int32_t y) const { return pixels_.at(Index(x, y)); }
  void SetPixel(int32_t x, int32_t y, uint32_t color) { pixels_.at(Index(x, y)) = color; }
  // Row by row from the top.
  const std::vector<uint32_t>& Pixels() const { return pixels_; }

 private:
  size_t Index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
  }

  int32_t width_;
  int32_t height_;
  std::vector<uint32_t> pixels_;
};
