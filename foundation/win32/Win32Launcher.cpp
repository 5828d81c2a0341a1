#include "foundation/win32/Win32Launcher.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "foundation/base/win32/ModuleFileName.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/WideText.h"

std::u16string Win32Launcher::ProgramFolder() {
  const std::u16string path = ModuleFileName();
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

void Win32Launcher::ShellOpen(bool owned, std::u16string_view file,
                              std::u16string_view parameters) {
  const std::wstring w_file = Wide(file);
  const std::wstring w_parameters = Wide(parameters);
  // A folder unpacked from a download carries the Mark of the Web, and the zone check would then
  // ask "Open File - Security Warning": on the service's invisible desktop nobody could answer
  // and the tick would wait for good; in the applet it would ask at every release. No UI at all,
  // and no process handle: companions are started and forgotten.
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOZONECHECKS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owned ? owner_ : nullptr;
  info.lpVerb = L"open";
  info.lpFile = w_file.c_str();
  info.lpParameters = w_parameters.c_str();
  info.nShow = SW_SHOW;
  ShellExecuteExW(&info);
}

void Win32Launcher::HtmlHelpDisplayTopic(std::u16string_view location) {
  if (html_help_ == nullptr) {
    if (help_library_ == nullptr) {
      help_library_ = LoadSystemLibrary(L"hhctrl.ocx");
      if (help_library_ == nullptr) {
        return;
      }
    }
    // Only a control that offers both entry points is taken as the help viewer.
    const auto ansi = BindFunction<FARPROC>(help_library_, "HtmlHelpA");
    const auto wide = BindFunction<HtmlHelpFn>(help_library_, "HtmlHelpW");
    if (ansi == nullptr || wide == nullptr) {
      return;
    }
    html_help_ = wide;
  }
  const std::wstring w_location = Wide(location);
  constexpr UINT HhDisplayTopic = 0;
  html_help_(GetDesktopWindow(), w_location.c_str(), HhDisplayTopic, 0);
}
