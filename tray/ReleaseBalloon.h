#pragma once
// The answer to a release the user asked for (menu, hot key, "/freemem"): a balloon with what the
// worker freed once its record arrives, or, when the cool-down will end the request at once, how
// long ago memory was freed and how long to wait.
#include <cstdint>

#include "foundation/LauncherPort.h"
#include "tray/TrayMonitor.h"

namespace ReleaseBalloon {
// A worker waits at most 20 s for its turn and then works about 8 s. A record that has not come
// by then answers another request, and the tick goes back to reading nothing of it.
inline constexpr uint64_t RecordWaitMilliseconds = 40000;
}  // namespace ReleaseBalloon

// Frees memory now for the user and remembers the request, or says at once that the cool-down
// ends it. The worker still decides: it is started either way.
void FreeMemoryForUser(const TrayMonitorPorts& ports, LauncherPort& launcher,
                       TrayMonitorState& state);

// The tick's part: while a request is pending, the balloon once a new record is there, nothing
// once the wait is over. Never throws.
void WatchReleaseRecord(const TrayMonitorPorts& ports, TrayMonitorState& state) noexcept;
