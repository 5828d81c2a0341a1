#include "worker/ReleaseTurnOwner.h"

bool IsTurnOwner(std::optional<std::u16string_view> ownerSid) {
  return ownerSid && (*ownerSid == u"S-1-5-18" || *ownerSid == u"S-1-5-32-544");
}
