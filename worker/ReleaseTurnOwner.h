#pragma once
// Who may own an existing object of a privileged worker's turn. Any user may make objects in the
// global namespace, and one made first would decide who waits for whom; a standard user cannot
// give an object SYSTEM or the Administrators as owner, so only such objects are the turn's.
#include <optional>
#include <string>
#include <string_view>

// ownerSid as "S-1-5-18"; nothing when the object has no owner or it could not be read.
bool IsTurnOwner(std::optional<std::u16string_view> ownerSid);
