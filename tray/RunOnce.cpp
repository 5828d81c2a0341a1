#include "tray/RunOnce.h"

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/SettingsTable.h"
#include "foundation/base/Text.h"

bool FindRunningInstance(DesktopWindowsPort& desktop, std::u16string_view className,
                         bool bringForward) {
  return guarded_or(false, [&] {
    const auto window = desktop.FindTopLevelWindow(className);
    if (!window) {
      return false;
    }
    if (bringForward) {
      desktop.RestoreWindow(*window);
      desktop.SetForegroundWindow(*window);
    }
    return true;
  });
}

StartupSwitch ClassifyStartupArgument(std::u16string_view firstArgument) {
  const std::u16string argument = LowerAscii(firstArgument);
  if (argument == u"/freemem") {
    return StartupSwitch::FreeMem;
  }
  if (argument == u"/start") {
    return StartupSwitch::Start;
  }
  return StartupSwitch::None;
}

bool PrepareStartup(std::u16string_view firstArgument, const CustomRegistry& settings,
                    SystemInfoPort& system, LauncherPort& launcher, DesktopWindowsPort& desktop) {
  const StartupSwitch given = ClassifyStartupArgument(firstArgument);
  if (given == StartupSwitch::FreeMem) {
    // Reports nothing and never stops start-up, whatever happens inside.
    MemoryFreeNow(settings, system, launcher);
  }
  if (given == StartupSwitch::Start && !ReadSettingBool(settings, SettingId::LoadNimbello)) {
    return false;
  }
  // The running applet is left alone: not restored, not brought forward, sent nothing.
  return !FindRunningInstance(desktop, Constants::TrayFormClass, false);
}
