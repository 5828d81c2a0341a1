#include "tray/TrayMonitor.h"

#include <string>

#include "foundation/Captions.h"
#include "foundation/Constants.h"
#include "foundation/DateTimeText.h"
#include "foundation/base/Guard.h"
#include "foundation/RAM.h"
#include "foundation/SettingsTable.h"
#include "foundation/WindowsVersion.h"
#include "tray/ReleaseBalloon.h"
#include "tray/UpdateCheck.h"

namespace {

using TrayMonitor::CaptionSection;
constexpr std::u16string_view BalloonTitleKey = u"BalloonTitle";
constexpr std::u16string_view BalloonHintKey = u"BalloonHint";

}  // namespace

int32_t HttpUpdateCheck::CheckForUpdate() {
  return ::CheckForUpdate(http_);
}

bool IsFullScreenRect(const WindowRect& window, ScreenSize screen) {
  // 64-bit so that rectangles near the ends of the 32-bit range cannot overflow.
  const int64_t margin = TrayMonitor::FullScreenMargin;
  return window.top <= margin && window.left <= margin &&
         window.right >= int64_t{screen.width} - margin &&
         window.bottom >= int64_t{screen.height} - margin;
}

void MainTimerTimer(const TrayMonitorPorts& ports, TrayMonitorState& state) noexcept {
  // The tick's policy reads share one open of the policy key, none the next tick's.
  const PolicyReadBatch policies(ports.settings);
  guarded([&] {
    const CustomRegistry& settings = ports.settings;

    // 1. Tell the memory service whether a full-screen program is in front; the value is written
    //    only when the state changes, so the service's reads see no churn.
    if (ReadSettingBool(settings, SettingId::FullScreenCheck)) {
      const bool stored = ReadSettingBool(settings, SettingId::FullScreen);
      if (const std::optional<FrontWindow> window = ports.desktop.ForegroundWindow()) {
        // A click on the desktop brings it to the front; it covers the screen, but a user looking
        // at the desktop is no reason to hold releases back.
        const bool fullScreen =
            !window->desktop && IsFullScreenRect(window->rect, ports.desktop.PrimaryScreenSize());
        if (fullScreen != stored) {
          settings.WriteSettingBool(Constants::FullScreen, fullScreen);
        }
      }
    }

    // 2. With automatic start off, the service releases memory only once the tray has run.
    if (!ReadSettingBool(settings, SettingId::LoadNimbello) &&
        !ReadSettingBool(settings, SettingId::DefragMemory)) {
      settings.WriteSettingBool(Constants::DefragMemory, true);
    }

    // 3. Icon presence. A shell that has just put up its taskbar is not ready for icons at once.
    const bool loadTrayIcon = ReadSettingBool(settings, SettingId::LoadTrayIcon);
    if (!loadTrayIcon) {
      ports.icon.Hide();
    } else if (!ports.icon.IsShown() &&
               ports.desktop.TopLevelWindowExists(Constants::TaskbarClass)) {
      ports.clock.Sleep(TrayMonitor::ShowIconWaitMilliseconds);
      ports.icon.Show();
    }

    // 3a. Reads nothing while no release the user asked for is pending.
    WatchReleaseRecord(ports, state);

    // 4. Update schedule. The counter wraps rather than overflows; it would take 68 years of
    //    ticks without a check.
    state.updateTickCounter =
        static_cast<int32_t>(static_cast<uint32_t>(state.updateTickCounter) + 1u);
    const LocalDateTime now = ports.clock.LocalNow();
    // A missing or empty value reads as now in the user's locale. The stored text is read first so
    // that the common tick does not format a default it will not use; the table's empty default
    // can only come back when the value is missing or empty.
    std::u16string updatedDate = ReadSettingString(settings, SettingId::UpdatedDate, {});
    if (updatedDate.empty()) {
      updatedDate = DateTimeToText(ports.clock, now);
    }
    if (state.updateTickCounter > TrayMonitor::UpdateTickLimit) {
      // The service writes the stamp in its own account's locale, which the user's locale may
      // not read. Such a stamp only skips the check: the graph must keep moving.
      const std::optional<DateTime> stamp = TextToDateTime(updatedDate, ports.clock.DateFormats());
      // An administrator may turn the check off; the counter then stays due, and the check
      // comes on the first tick after the policy is lifted.
      if (stamp && WholeDaysBetween(ToDateTime(now), *stamp) > TrayMonitor::UpdateAgeDays &&
          ReadSettingBool(settings, SettingId::UpdateCheck)) {
        state.updateTickCounter = 0;
        if (ports.updates.CheckForUpdate() == 1) {
          if (!loadTrayIcon) {
            ports.icon.Show();  // the balloon needs an icon to come from
          }
          ports.icon.SetBalloonTitle(
              GetCaption(settings, ports.resources, CaptionSection, BalloonTitleKey));
          ports.icon.SetBalloonText(
              GetCaption(settings, ports.resources, CaptionSection, BalloonHintKey));
          ports.icon.ShowBalloon();
          state.balloon = TrayBalloon::Update;
        }
      }
    }

    // 5. Colours; Windows 7's light taskbar gets light defaults.
    const MachineFacts machine{.versionCode = GetWindowsVersionCode(ports.system)};
    const std::u16string background =
        ReadSettingString(settings, SettingId::BackgroundColor, machine);
    const std::u16string grid = ReadSettingString(settings, SettingId::GridColor, machine);
    const std::u16string bar = ReadSettingString(settings, SettingId::BarColor, machine);

    // 6. Memory use. Without a total there is nothing to draw; the icon keeps its last picture.
    const std::optional<int32_t> percent = UsagePercent(GetTotalPhysicalMemory(ports.system),
                                                        GetAvailablePhysicalMemory(ports.system));
    if (!percent) {
      return;
    }

    // 7. The graph, also while the icon is hidden, so it is current the moment it shows.
    ports.icon.SetImage(ports.renderer.RenderUsageIcon(background, grid, bar, *percent));
    ports.renderer.ReleaseUsageIcon();
  });
}
