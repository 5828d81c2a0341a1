#include "foundation/ReleaseCoolDown.h"

bool IsCoolingDown(uint64_t lastEnd, uint64_t now) {
  return lastEnd != 0 && lastEnd <= now && now - lastEnd < CoolDownFileTime;
}
