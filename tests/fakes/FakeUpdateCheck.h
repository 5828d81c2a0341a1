#pragma once
// An update check with a set answer; counts the checks.
#include <cstdint>

#include "tray/TrayMonitor.h"

class FakeUpdateCheck : public UpdateCheckPort {
 public:
  int32_t answer = 0;
  int checks = 0;
  int32_t CheckForUpdate() override {
    ++checks;
    return answer;
  }
};
