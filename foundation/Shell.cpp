#include "foundation/Shell.h"

#include "foundation/base/Guard.h"

std::u16string ProgramFile(LauncherPort& launcher, std::u16string_view fileName) {
  std::u16string path = launcher.ProgramFolder();
  path += fileName;
  return path;
}

void OpenWithShell(LauncherPort& launcher, std::u16string_view file,
                   std::u16string_view parameters) {
  guarded([&] { launcher.ShellOpen(true, file, parameters); });
}

void OpenWithShellUnowned(LauncherPort& launcher, std::u16string_view file,
                          std::u16string_view parameters) {
  guarded([&] { launcher.ShellOpen(false, file, parameters); });
}

std::u16string HelpTopicLocation(std::u16string_view programFolder, std::u16string_view helpFile,
                                 std::u16string_view topic) {
  std::u16string location(programFolder);
  location += helpFile;
  location += u"::";
  location += topic;
  location += u">HelpWindow";
  return location;
}

void ShowHelpTopic(LauncherPort& launcher, std::u16string_view helpFile,
                   std::u16string_view topic) {
  guarded([&] {
    launcher.HtmlHelpDisplayTopic(HelpTopicLocation(launcher.ProgramFolder(), helpFile, topic));
  });
}
