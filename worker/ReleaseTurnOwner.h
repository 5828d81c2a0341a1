#pragma once
// Where a privileged worker (the service's, as SYSTEM, or an elevated administrator's) keeps its
// turn. Any user may make objects in the global namespace, and one made first, held and let go at
// the right moments, could put two privileged workers to work at once. So their turn is a lock
// file in their own program folder, which only administrators may write (the installers make it
// so, and the service checks it before every start): no standard user can name, open or make it.
// A standard user's workers keep their turn in the session's own namespace.
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::u16string_view TurnFileName = u"NimbelloDefrag.turn";

// Whether an object's owner is SYSTEM or the Administrators, whom no standard user can make the
// owner of anything: the workers' shared global objects are theirs only then. ownerSid as
// "S-1-5-18"; nothing when the object has no owner or it could not be read.
bool IsPrivilegedOwner(std::optional<std::u16string_view> ownerSid);

// Whether an existing turn file is the privileged workers' own: not a reparse point (which would
// put the lock elsewhere), and owned by SYSTEM, the Administrators or the account the worker runs
// as (the owner a platform that records no other owner gives every file). ownerSid as "S-1-5-18";
// nothing when the file has no owner or it could not be read.
bool IsTurnFile(bool reparsePoint, std::optional<std::u16string_view> ownerSid,
                std::u16string_view account);
