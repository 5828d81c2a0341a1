#pragma once
// Starting companion programs: started and forgotten, failures absorbed.
#include <string>
#include <string_view>

#include "foundation/LauncherPort.h"

// Program folder + file name.
std::u16string ProgramFile(LauncherPort& launcher, std::u16string_view fileName);

void OpenWithShell(LauncherPort& launcher, std::u16string_view file,
                   std::u16string_view parameters = {});
void OpenWithShellUnowned(LauncherPort& launcher, std::u16string_view file,
                          std::u16string_view parameters = {});

// Program folder + help file + "::" + topic + ">HelpWindow".
std::u16string HelpTopicLocation(std::u16string_view programFolder, std::u16string_view helpFile,
                                 std::u16string_view topic);
void ShowHelpTopic(LauncherPort& launcher, std::u16string_view helpFile, std::u16string_view topic);
