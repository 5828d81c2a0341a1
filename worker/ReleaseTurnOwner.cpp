#include "worker/ReleaseTurnOwner.h"

bool IsPrivilegedOwner(std::optional<std::u16string_view> ownerSid) {
  return ownerSid && (*ownerSid == u"S-1-5-18" || *ownerSid == u"S-1-5-32-544");
}

bool IsTurnFile(bool reparsePoint, std::optional<std::u16string_view> ownerSid,
                std::u16string_view account) {
  return !reparsePoint &&
         (IsPrivilegedOwner(ownerSid) || (ownerSid && !account.empty() && *ownerSid == account));
}
