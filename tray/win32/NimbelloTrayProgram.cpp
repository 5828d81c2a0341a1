// NimbelloTray: the notification-area applet. Decides at start-up whether to run at all, then
// creates the hidden tray window and runs the message loop until the window is closed. The exit
// code is 0 on every path.
#include <windows.h>

#include <string>

#include "foundation/CustomRegistry.h"
#include "foundation/base/Guard.h"
#include "foundation/WindowsVersion.h"
#include "foundation/base/win32/ModuleFileName.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/base/win32/Win32DebugOutput.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32Resources.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "tray/NimbelloTrayForm.h"
#include "tray/CustomTrayIconImage.h"
#include "tray/RunOnce.h"
#include "tray/TrayMonitor.h"
#include "tray/win32/MessageLoop.h"
#include "tray/win32/Win32Desktop.h"
#include "tray/win32/Win32DesktopWindows.h"
#include "tray/win32/Win32IconFactory.h"
#include "tray/win32/Win32NotifyIcon.h"
#include "tray/win32/Win32TrayWindow.h"
#include "tray/win32/WinHttpGet.h"

namespace {

// The embedded 16 x 16 icon: the empty box of the usage graph.
constexpr wchar_t EmbeddedIconName[] = L"MAINICON";

// Detaches the window and the icon window from the form before the form goes, so that messages
// arriving while the windows are destroyed find no handler.
class Attachment {
 public:
  Attachment(Win32TrayWindow& window, Win32NotifyIcon& notify, TNBTrayForm& form)
      : window_(window), notify_(notify) {
    window_.SetForm(&form);
    notify_.SetTarget(&form.Icon());
  }
  ~Attachment() {
    window_.SetForm(nullptr);
    notify_.SetTarget(nullptr);
  }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;

 private:
  Win32TrayWindow& window_;
  Win32NotifyIcon& notify_;
};

void Run(int argc, wchar_t** argv) {
  const std::u16string firstArgument = argc > 1 ? FromWide(argv[1]) : std::u16string();
  Win32Registry registry;
  const CustomRegistry settings(registry);
  Win32SystemInfo system;
  Win32Launcher launcher;
  Win32DesktopWindows desktop;
  const StartupPlan plan = PrepareStartup(firstArgument, settings, system, launcher, desktop);
  if (plan == StartupPlan::End) {
    return;
  }

  HINSTANCE instance = GetModuleHandleW(nullptr);
  Win32Resources resources;
  // The monitor tick's parts; they outlive the form, whose icon holds copies of their icons.
  Win32Desktop monitorDesktop;
  Win32Clock clock;
  WinHttpGet http;
  HttpUpdateCheck updates(http);
  Win32IconFactory iconFactory;
  CustomTrayIconImage renderer(iconFactory);
  Win32NotifyIcon notify(instance);
  Win32TrayWindow window(instance);
  TNBTrayForm form(window, TrayFormPorts{settings, resources, system, launcher}, notify,
                   Win32NotifyIcon::RecordSize(GetWindowsVersionCode(system)),
                   ApplicationTitle(ModuleFileName()));
  Attachment attachment(window, notify, form);
  // Programs the applet starts are owned by its hidden window.
  launcher.SetOwnerWindow(window.Handle());
  guarded([&] {
    auto icon =
        static_cast<HICON>(LoadImageW(instance, EmbeddedIconName, IMAGE_ICON, 16, 16, LR_SHARED));
    if (icon != nullptr) {
      form.Icon().SetImage(icon);
    }
  });
  form.AttachMonitor(TrayMonitorParts{monitorDesktop, clock, updates, renderer});
  if (plan == StartupPlan::RunAndFreeMemory) {
    form.FreeMemPopupClick();  // "/freemem": this applet shows what came of it
  }
  form.FormCreate();
  window.StartTimer();
  RunMessageLoop();
  // Leaving this scope destroys the form, which takes its icon out of the notification area.
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  RestrictDllSearch();
  const ScopedWin32DebugOutput debugOutput;
  guarded([&] { Run(argc, argv); });
  return 0;
}
