#pragma once
// The real icon factory rendering at a side of the caller's choosing (16 x 16 or 64 x 64)
// whatever the display's small-icon size.
#include <cstdint>

#include "tray/win32/Win32IconFactory.h"

namespace wine_test {

class SizedIconFactory : public Win32IconFactory {
 public:
  explicit SizedIconFactory(int32_t side) : side_(side) {}
  SmallIconMetrics GetSmallIconMetrics() override { return {side_, side_}; }

 private:
  int32_t side_;
};

}  // namespace wine_test
