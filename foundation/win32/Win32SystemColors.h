#pragma once
#include <windows.h>

#include "foundation/SystemColorsPort.h"

class Win32SystemColors final : public SystemColorsPort {
 public:
  uint32_t GetSysColor(int32_t index) override { return ::GetSysColor(index); }
};
