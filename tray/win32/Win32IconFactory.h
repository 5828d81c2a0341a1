#pragma once
// Icons for the usage graph from the real GDI: a 32-bit colour bitmap and an all-opaque mask.
#include "tray/IconFactoryPort.h"

class Win32IconFactory : public IconFactoryPort {
 public:
  SmallIconMetrics GetSmallIconMetrics() override;
  uint32_t GetSysColor(int32_t index) override;
  // Throws std::system_error when GDI cannot make the bitmaps or the icon.
  IconHandle CreateIcon(const IconPicture& picture) override;
  // Throws std::system_error when the handle is not a live icon.
  void DestroyIcon(IconHandle icon) override;
};
