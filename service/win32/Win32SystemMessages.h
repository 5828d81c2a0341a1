#pragma once
// The system's message for an error code, from FormatMessageW.
#include "service/FailureText.h"

class Win32SystemMessages : public SystemMessagePort {
 public:
  std::u16string SystemMessage(uint32_t code) override;
};
