#pragma once
// The tray applet's start-up decision and its single-instance test. A running applet is known by a
// top-level window of the tray window's class on the caller's desktop; nothing else guards it.
#include <cstdint>
#include <optional>
#include <string_view>

#include "foundation/CustomRegistry.h"
#include "foundation/LauncherPort.h"
#include "foundation/SystemInfoPort.h"

// Top-level windows of the caller's desktop, as the single-instance test needs them.
class DesktopWindowsPort {
 public:
  using WindowId = uintptr_t;
  virtual ~DesktopWindowsPort() = default;

  // FindWindowW(class name, no window name). Nothing when there is none.
  virtual std::optional<WindowId> FindTopLevelWindow(std::u16string_view className) = 0;
  virtual void RestoreWindow(WindowId window) = 0;        // ShowWindow(SW_RESTORE)
  virtual void SetForegroundWindow(WindowId window) = 0;  // SetForegroundWindow
  // PostMessageW(WM_HOTKEY) with the tray window's hot key: the running applet's "free memory
  // now". False when the message could not be posted.
  virtual bool PostFreeMemory(WindowId window) = 0;
};

// True when a window of that class exists; bringForward restores it and brings it to the front
// first. Any failure counts as no window found.
bool FindRunningInstance(DesktopWindowsPort& desktop, std::u16string_view className,
                         bool bringForward);

// The first command-line argument as start-up compares it: ASCII letters in lower case.
enum class StartupSwitch { None, FreeMem, Start };
StartupSwitch ClassifyStartupArgument(std::u16string_view firstArgument);

enum class StartupPlan {
  End,               // an applet runs already, or automatic start is off
  Run,               // set up the applet and run it
  RunAndFreeMemory,  // the same, and free memory now once the applet can answer it
};

// Steps before any window exists. "/freemem" is answered by the applet that runs (it gets the hot
// key's message) so that the user learns what came of it; without one this applet frees memory
// once it is up, and when the message cannot be posted memory is freed here at once. "/start"
// with automatic start switched off ends start-up; so does an applet already running.
StartupPlan PrepareStartup(std::u16string_view firstArgument, const CustomRegistry& settings,
                           SystemInfoPort& system, LauncherPort& launcher,
                           DesktopWindowsPort& desktop);
