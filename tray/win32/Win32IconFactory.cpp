#include "tray/win32/Win32IconFactory.h"

#include <windows.h>

#include <vector>

#include "foundation/base/win32/LastError.h"
#include "foundation/base/win32/UniqueHandle.h"

namespace {

// A top-down 32-bit DIB section holding the picture, every pixel fully opaque.
UniqueHBitmap ColorBitmapOf(const IconPicture& picture) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = picture.Width();
  info.bmiHeader.biHeight = -picture.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueHBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) {
    ThrowLastError("CreateDIBSection");
  }
  // The picture holds 0x00BBGGRR; a DIB pixel is 0xAARRGGBB.
  auto* out = static_cast<uint32_t*>(bits);
  for (const uint32_t color : picture.Pixels()) {
    *out++ = 0xFF000000u | (uint32_t{RedOf(color)} << 16) | (uint32_t{GreenOf(color)} << 8) |
             BlueOf(color);
  }
  return bitmap;
}

// A monochrome AND mask of zeros: no pixel of the icon is transparent.
UniqueHBitmap OpaqueMaskOf(const IconPicture& picture) {
  const size_t stride = (static_cast<size_t>(picture.Width()) + 15) / 16 * 2;
  const std::vector<BYTE> zeros(stride * static_cast<size_t>(picture.Height()), 0);
  UniqueHBitmap mask(CreateBitmap(picture.Width(), picture.Height(), 1, 1, zeros.data()));
  if (!mask) {
    ThrowLastError("CreateBitmap");
  }
  return mask;
}

}  // namespace

SmallIconMetrics Win32IconFactory::GetSmallIconMetrics() {
  return {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)};
}

uint32_t Win32IconFactory::GetSysColor(int32_t index) {
  return ::GetSysColor(index);
}

IconHandle Win32IconFactory::CreateIcon(const IconPicture& picture) {
  const UniqueHBitmap color = ColorBitmapOf(picture);
  const UniqueHBitmap mask = OpaqueMaskOf(picture);
  // The icon gets copies of both bitmaps; ours go when this scope ends.
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask.get();
  info.hbmColor = color.get();
  UniqueHIcon icon(CreateIconIndirect(&info));
  if (!icon) {
    ThrowLastError("CreateIconIndirect");
  }
  return icon.release();
}

void Win32IconFactory::DestroyIcon(IconHandle icon) {
  if (!::DestroyIcon(static_cast<HICON>(icon))) {
    ThrowLastError("DestroyIcon");
  }
}
