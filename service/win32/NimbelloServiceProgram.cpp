// NimbelloService: applies the DefragMemory rule, then installs or removes the service "Nimbello",
// or runs it under the Service Control Manager.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "foundation/base/win32/ModuleFileName.h"
#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/base/win32/Win32DebugOutput.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32Resources.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "foundation/base/win32/WideText.h"
#include "service/NimbelloServiceForm.h"
#include "service/ReleasePolicy.h"
#include "service/ReleaseStartRule.h"
#include "service/ServiceApplication.h"
#include "service/ServiceSwitches.h"
#include "service/win32/Win32EventLog.h"
#include "service/win32/Win32EventSources.h"
#include "service/win32/Win32FolderSecurity.h"
#include "service/win32/Win32MessageDialogs.h"
#include "service/win32/Win32MessageLoop.h"
#include "service/win32/Win32ServiceControlManager.h"
#include "service/win32/Win32SystemMessages.h"
#include "service/win32/Win32UtcClock.h"

namespace {

std::u16string FileName(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  RestrictDllSearch();
  const ScopedWin32DebugOutput debugOutput;
  Win32Registry registry;
  CustomRegistry settings(registry);
  ApplyDefragMemoryRule(settings);

  std::vector<std::u16string> parameters;
  for (int i = 1; i < argc; ++i) {
    parameters.push_back(FromWide(argv[i]));
  }
  const ServiceSwitches switches = ParseServiceSwitches(parameters);

  Win32SystemMessages messages;
  Win32ServiceControlManager manager(messages);
  Win32MessageLoop loop;
  Win32MessageDialogs dialogs;
  std::u16string programName = u"NimbelloService.exe";
  try {
    programName = FileName(manager.ProgramPath());
  } catch (...) {
    // the shipped file name stands in
  }
  Win32EventLog programLog(programName);
  Win32EventLog serviceLog(std::u16string(Constants::ServiceName));

  // The process's own state: the release policy's last release time, started state and processor
  // sample live as long as the process.
  Win32SystemInfo systemInfo;
  Win32Launcher launcher;
  Win32Clock clock;
  Win32ProcessorInfo processors;
  Win32Resources resources;
  Win32FolderSecurity folders;
  Win32EventSources eventSources;
  Win32UtcClock utc;
  ReleasePolicyState policyState;
  // Before each automatic request: no worker that would end at once, none from a folder that
  // others could have changed since /install.
  std::u16string folder;
  std::u16string serviceFile;
  try {
    folder = launcher.ProgramFolder();
    serviceFile = ModuleFileName();
  } catch (...) {
    // an empty folder is judged unreadable: no worker starts
  }
  ReleaseStartRule startRule({folders, registry, clock, utc, serviceLog}, folder, serviceFile);

  TServiceApplication application({manager, loop, programLog, messages, dialogs});
  TNimbello module({manager, loop, serviceLog, messages},
                   {settings,
                    resources,
                    policyState,
                    {settings, systemInfo, launcher, clock, processors, &startRule},
                    loop,
                    folders,
                    eventSources},
                   [&application](std::exception_ptr failure) {
                     application.HandleException(std::move(failure));
                   });
  application.CreateForm(module);
  return application.Run(switches);
}
