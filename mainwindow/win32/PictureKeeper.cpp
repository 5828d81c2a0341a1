#include "mainwindow/win32/PictureKeeper.h"

#include <vector>

IconHandle PictureKeeper::CreateIcon(const IconPicture& picture) {
  picture_ = picture;
  // Any non-null handle: the renderer only hands it back to DestroyIcon.
  return this;
}

void PaintPicture(HDC dc, const RECT& target, const IconPicture& picture) {
  // A top-down 32-bit DIB holds blue in its lowest byte; the picture holds red there.
  std::vector<uint32_t> pixels;
  pixels.reserve(picture.Pixels().size());
  for (const uint32_t c : picture.Pixels()) {
    pixels.push_back((static_cast<uint32_t>(RedOf(c)) << 16) |
                     (static_cast<uint32_t>(GreenOf(c)) << 8) | BlueOf(c));
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.Width();
  info.bmiHeader.biHeight = -picture.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
                0, 0, picture.Width(), picture.Height(), pixels.data(), &info, DIB_RGB_COLORS,
                SRCCOPY);
}
