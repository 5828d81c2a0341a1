#pragma once
// The system colours, which the usage graph's colour names may stand for.
#include <cstdint>

class SystemColorsPort {
 public:
  virtual ~SystemColorsPort() = default;
  // GetSysColor: the plain colour 0x00BBGGRR of a system colour index, as it is at this moment.
  virtual uint32_t GetSysColor(int32_t index) = 0;
};
