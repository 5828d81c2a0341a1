#pragma once
// What the usage-graph icon needs from the platform: the small-icon size, the system colours
// and icons made from the graph's pictures.
#include <cstdint>

#include "foundation/base/IconPicture.h"
#include "foundation/SystemColorsPort.h"
#include "foundation/UsageGraph.h"
#include "tray/IconHandle.h"

class IconFactoryPort : public SystemColorsPort {
 public:
  virtual SmallIconMetrics GetSmallIconMetrics() = 0;
  // An opaque icon of the picture's size showing exactly its pixels. Throws when Windows cannot
  // make it; the caller owns the result.
  virtual IconHandle CreateIcon(const IconPicture& picture) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
};
