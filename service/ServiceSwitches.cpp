#include "service/ServiceSwitches.h"

#include "foundation/base/Text.h"

bool FindCmdLineSwitch(std::span<const std::u16string> parameters, std::u16string_view word) {
  for (const std::u16string& p : parameters) {
    if (p.size() == word.size() + 1 && (p[0] == u'/' || p[0] == u'-') &&
        EqualsIgnoreAsciiCase(std::u16string_view(p).substr(1), word)) {
      return true;
    }
  }
  return false;
}

ServiceSwitches ParseServiceSwitches(std::span<const std::u16string> parameters) {
  ServiceSwitches s;
  if (FindCmdLineSwitch(parameters, u"INSTALL")) {
    s.mode = ServiceProgramMode::Install;
  } else if (FindCmdLineSwitch(parameters, u"UNINSTALL")) {
    s.mode = ServiceProgramMode::Uninstall;
  }
  s.silent = FindCmdLineSwitch(parameters, u"SILENT");
  return s;
}
