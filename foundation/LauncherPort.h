#pragma once
// Starting companion programs and the help viewer. Results are never reported: a missing companion
// changes nothing in the caller.
#include <string>
#include <string_view>

class LauncherPort {
 public:
  virtual ~LauncherPort() = default;

  // The folder of the running program's own file, with a trailing path delimiter.
  virtual std::u16string ProgramFolder() = 0;

  // ShellExecuteExW with verb "open", no working directory, SW_SHOW, no zone check and no UI;
  // no process handle is kept. owned: the program's hidden application window is the owner;
  // otherwise there is none.
  virtual void ShellOpen(bool owned, std::u16string_view file, std::u16string_view parameters) = 0;

  // HtmlHelpW(desktop window, location, HH_DISPLAY_TOPIC, 0), bound on first use.
  virtual void HtmlHelpDisplayTopic(std::u16string_view location) = 0;
};
