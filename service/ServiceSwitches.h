#pragma once
// The command-line switches of a service program.
#include <span>
#include <string>
#include <string_view>

enum class ServiceProgramMode { Install, Uninstall, Service };

struct ServiceSwitches {
  ServiceProgramMode mode = ServiceProgramMode::Service;
  bool silent = false;
};

// A parameter made of "/" or "-" and the word, ASCII letters in any case, at any position.
bool FindCmdLineSwitch(std::span<const std::u16string> parameters, std::u16string_view word);

// INSTALL is looked for first, so a command line with both installs.
ServiceSwitches ParseServiceSwitches(std::span<const std::u16string> parameters);
