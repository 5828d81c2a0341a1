#include "worker/ReleaseTurnOwner.h"

bool IsTurnFile(bool reparsePoint, std::optional<std::u16string_view> ownerSid,
                std::u16string_view account) {
  return !reparsePoint && ownerSid &&
         (*ownerSid == u"S-1-5-18" || *ownerSid == u"S-1-5-32-544" ||
          (!account.empty() && *ownerSid == account));
}
