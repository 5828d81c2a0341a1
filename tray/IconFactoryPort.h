#pragma once
// What the usage-graph renderer needs from the platform: the small-icon size, the system colours
// and icons made from its pictures.
#include <cstdint>

#include "tray/IconHandle.h"
#include "tray/IconPicture.h"

struct SmallIconMetrics {
  int32_t cx = 0;  // GetSystemMetrics(SM_CXSMICON)
  int32_t cy = 0;  // GetSystemMetrics(SM_CYSMICON)
};

class IconFactoryPort {
 public:
  virtual ~IconFactoryPort() = default;

  virtual SmallIconMetrics GetSmallIconMetrics() = 0;
  // GetSysColor: the plain colour 0x00BBGGRR of a system colour index, as it is at this moment.
  virtual uint32_t GetSysColor(int32_t index) = 0;
  // An opaque icon of the picture's size showing exactly its pixels. Throws when Windows cannot
  // make it; the caller owns the result.
  virtual IconHandle CreateIcon(const IconPicture& picture) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
};
