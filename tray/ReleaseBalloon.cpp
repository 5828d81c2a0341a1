#include "tray/ReleaseBalloon.h"

#include <optional>
#include <string>

#include "foundation/Captions.h"
#include "foundation/LastRelease.h"
#include "foundation/RAM.h"
#include "foundation/ReleaseCoolDown.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/base/Guard.h"
#include "foundation/base/Text.h"

namespace {

std::u16string Caption(const TrayMonitorPorts& ports, std::u16string_view key) {
  return GetCaption(ports.settings, ports.resources, TrayMonitor::CaptionSection, key);
}

void ShowReleaseBalloon(const TrayMonitorPorts& ports, TrayMonitorState& state,
                        std::u16string_view text) {
  if (!ports.icon.IsShown()) {
    ports.icon.Show();  // the balloon needs an icon to come from
  }
  ports.icon.SetBalloonTitle(Caption(ports, u"ReleaseTitle"));
  ports.icon.SetBalloonText(text);
  ports.icon.ShowBalloon();
  state.balloon = TrayBalloon::Release;
}

}  // namespace

void FreeMemoryForUser(const TrayMonitorPorts& ports, LauncherPort& launcher,
                       TrayMonitorState& state) {
  // Read before the start, so that no record of this request can be taken for the old one.
  const uint64_t previous = ReadLastReleaseTime(ports.settings.Port());
  const std::optional<CoolDownLeft> coolDown =
      CoolDownRemaining(previous, ports.clock.UtcFileTime());
  state.pendingRelease.reset();
  MemoryFreeNow(ports.settings, ports.system, launcher);
  if (coolDown) {
    ShowReleaseBalloon(
        ports, state,
        FormatCaption(Caption(ports, u"CoolDownHint"),
                      {DecimalText(coolDown->secondsAgo), DecimalText(coolDown->secondsLeft)}));
    return;
  }
  state.pendingRelease = PendingRelease{previous, ports.clock.TickCount64()};
}

void WatchReleaseRecord(const TrayMonitorPorts& ports, TrayMonitorState& state) noexcept {
  guarded([&] {
    if (!state.pendingRelease) {
      return;
    }
    const PendingRelease pending = *state.pendingRelease;
    if (ports.clock.TickCount64() - pending.askedTick > ReleaseBalloon::RecordWaitMilliseconds) {
      state.pendingRelease.reset();
      return;
    }
    // The whole record, checked as any reader checks it: one a user forged is shown as it stands,
    // which tells that user nothing new. A changed time is a new record, also after a forged
    // future one.
    const std::optional<LastRelease> record = ReadLastRelease(
        ports.settings.Port(), ports.clock.UtcFileTime(), GetTotalPhysicalMemory(ports.system));
    if (record && record->time != pending.previousTime) {
      state.pendingRelease.reset();
      ShowReleaseBalloon(ports, state,
                         FormatCaption(Caption(ports, u"FreedHint"), {DecimalText(record->freed)}));
    }
  });
}
