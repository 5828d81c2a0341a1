// Nimbello: the main window, where users see memory and change settings. A second start brings
// the running window to the front and ends. The exit code is 0 on every path.
#include <windows.h>

#include <commctrl.h>

#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32Resources.h"
#include "foundation/win32/Win32SystemColors.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "mainwindow/win32/Win32MainForm.h"

namespace {

bool BringRunningWindowForward() {
  HWND running = FindWindowW(Wide(Constants::MainFormClass).c_str(), nullptr);
  if (running == nullptr) {
    return false;
  }
  if (IsIconic(running)) {
    ShowWindow(running, SW_RESTORE);
  }
  SetForegroundWindow(running);
  return true;
}

void Run(HINSTANCE instance) {
  if (BringRunningWindowForward()) {
    return;
  }
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  Win32Registry registry;
  Win32SystemInfo system;
  Win32Launcher launcher;
  Win32Resources resources;
  Win32SystemColors colors;
  Win32MainForm form(instance, {registry, system, launcher, resources, colors});
  HWND window = form.Create();
  if (window == nullptr) {
    return;
  }
  // The release worker that "Free memory now" starts is owned by the window.
  launcher.SetOwnerWindow(window);
  // The dialog manager's keyboard: Tab, arrows, access keys, Enter and Esc.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsWindow(window) || !IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  guarded([&] { Run(instance); });
  return 0;
}
