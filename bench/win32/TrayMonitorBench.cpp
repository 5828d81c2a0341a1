// Prints the cost of the tray's monitor tick with the real adapters (run under Wine): the whole
// tick on the ample path (icon shown, no wait, no update check) with the real notification icon
// and without it, and what each kind of platform call of a tick costs. The settings live in a key
// of its own, removed at the end.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/DateTimeText.h"
#include "foundation/RAM.h"
#include "foundation/WindowsVersion.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/win32/Win32Resources.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "tray/CustomTrayIconImage.h"
#include "tray/TrayIcon.h"
#include "tray/TrayMonitor.h"
#include "tray/win32/Win32Desktop.h"
#include "tray/win32/Win32IconFactory.h"
#include "tray/win32/Win32NotifyIcon.h"
#include "bench/win32/Measure.h"
#include "tests/win32/support/RealPorts.h"

namespace {

// Shown, and keeps nothing: the tick without the shell's part.
class SilentIcon final : public NotificationIconPort {
 public:
  bool IsShown() const override { return true; }
  void Show() override {}
  void Hide() override {}
  void SetImage(IconHandle) override {}
  void SetBalloonTitle(std::u16string_view) override {}
  void SetBalloonText(std::u16string_view) override {}
  void ShowBalloon() override {}
};

class NoUpdate final : public UpdateCheckPort {
 public:
  int32_t CheckForUpdate() override { return ++checks, -1; }
  int checks = 0;
};

}  // namespace

int wmain() {
  wine_test::MovedSettingsRegistry registry{L"NimbelloMonitorBench"};
  const CustomRegistry settings(registry);
  Win32SystemInfo system;
  Win32Resources resources;
  Win32Desktop desktop;
  Win32Clock clock;
  NoUpdate updates;
  Win32IconFactory factory;
  CustomTrayIconImage renderer(factory);
  SilentIcon silent;
  TrayMonitorState state;

  // A stamp in this locale's form, written now: young, so no check.
  settings.WriteSettingString(Constants::UpdatedDate, DateTimeToText(clock, clock.LocalNow()));
  const TrayMonitorPorts withoutShell{settings, system, resources, desktop,
                                      silent,   clock,  updates,   renderer};

  std::printf("tray monitor tick under Wine (real registry, desktop, clock, memory, GDI)\n");
  Measure("whole tick, ample path, icon port doing nothing", 2000, [&] {
    state.updateTickCounter = TrayMonitor::FirstUpdateTick;
    MainTimerTimer(withoutShell, state);
  });
  registry.PutPolicyDword(Constants::FullScreenCheck, 1);
  registry.PutPolicyDword(Constants::LoadTrayIcon, 1);
  Measure("whole tick, ample path, policy key with 2 values", 2000, [&] {
    state.updateTickCounter = TrayMonitor::FirstUpdateTick;
    MainTimerTimer(withoutShell, state);
  });
  {
    Win32NotifyIcon notify(GetModuleHandleW(nullptr));
    TrayIcon icon(notify, Win32NotifyIcon::RecordSize(5), u"Nimbellotray");
    notify.SetTarget(&icon);
    const TrayMonitorPorts withShell{settings, system, resources, desktop,
                                     icon,     clock,  updates,   renderer};
    icon.Show();
    Measure("whole tick, ample path, real notification icon", 2000, [&] {
      state.updateTickCounter = TrayMonitor::FirstUpdateTick;
      MainTimerTimer(withShell, state);
    });
    Measure("  of it: TrayIcon SetImage (NIM_MODIFY)", 2000, [&] {
      icon.SetImage(renderer.RenderUsageIcon(u"clWhite", u"clGray", u"clGreen", 50));
      renderer.ReleaseUsageIcon();
    });
    icon.Hide();
    notify.SetTarget(nullptr);
  }
  volatile int64_t sink = 0;
  Measure("  of it: one settings read (boolean)", 5000,
          [&] { sink = settings.ReadSettingBool(Constants::LoadTrayIcon, true); });
  Measure("  of it: one settings read (string)", 5000, [&] {
    sink = static_cast<int64_t>(settings.ReadSettingString(Constants::UpdatedDate, u"").size());
  });
  Measure("  of it: foreground window rectangle", 5000,
          [&] { sink = desktop.ForegroundWindow().has_value() ? 1 : 0; });
  Measure("  of it: primary screen size", 5000, [&] { sink = desktop.PrimaryScreenSize().width; });
  Measure("  of it: FindWindowW(\"Shell_TrayWnd\")", 5000,
          [&] { sink = desktop.TopLevelWindowExists(Constants::TaskbarClass) ? 1 : 0; });
  Measure("  of it: local time", 5000, [&] { sink = clock.LocalNow().second; });
  Measure("  of it: version code", 5000, [&] { sink = GetWindowsVersionCode(system); });
  Measure("  of it: total and available memory", 5000,
          [&] { sink = GetTotalPhysicalMemory(system) - GetAvailablePhysicalMemory(system); });
  Measure("  of it: render and release a 16 x 16 graph (GDI)", 2000, [&] {
    sink =
        reinterpret_cast<intptr_t>(renderer.RenderUsageIcon(u"clWhite", u"clGray", u"clGreen", 50));
    renderer.ReleaseUsageIcon();
  });
  Measure("  stamp missing: default text in the locale", 5000,
          [&] { sink = static_cast<int64_t>(DateTimeToText(clock, clock.LocalNow()).size()); });
  return updates.checks == 0 ? 0 : 1;
}
