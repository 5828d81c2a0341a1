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

StartupPlan PrepareStartup(std::u16string_view firstArgument, const CustomRegistry& settings,
                           SystemInfoPort& system, LauncherPort& launcher,
                           DesktopWindowsPort& desktop) {
  const StartupSwitch given = ClassifyStartupArgument(firstArgument);
  if (given == StartupSwitch::FreeMem) {
    // Whatever happens inside, memory is freed once and start-up goes on.
    const auto running = guarded_or(std::optional<DesktopWindowsPort::WindowId>(), [&] {
      return desktop.FindTopLevelWindow(Constants::TrayFormClass);
    });
    if (!running) {
      return StartupPlan::RunAndFreeMemory;
    }
    if (!guarded_or(false, [&] { return desktop.PostFreeMemory(*running); })) {
      MemoryFreeNow(settings, system, launcher);
    }
    return StartupPlan::End;
  }
  if (given == StartupSwitch::Start && !ReadSettingBool(settings, SettingId::LoadNimbello)) {
    return StartupPlan::End;
  }
  // The running applet is left alone: not restored, not brought forward, sent nothing.
  return FindRunningInstance(desktop, Constants::TrayFormClass, false) ? StartupPlan::End
                                                                       : StartupPlan::Run;
}
