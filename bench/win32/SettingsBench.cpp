// Prints the cost of settings reads through the real registry (run under Wine by the benchmark
// command). Uses a key of its own, removed at the end.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/CustomRegistry.h"
#include "foundation/win32/Win32Registry.h"
#include "bench/win32/Measure.h"

int wmain() {
  const std::u16string path = u"\\Software\\VELTRA\\NimbelloBench\\";
  Win32Registry registry;
  CustomRegistry settings(registry);
  settings.WriteSettingBool(RegistryRoot::LocalMachine, path, u"ProcessorLimit", true);
  settings.WriteSettingString(RegistryRoot::LocalMachine, path, u"Language", u"french");
  volatile int sink = 0;
  std::printf("settings store through the Win32 registry\n");
  Measure("ReadSettingInteger (stored)", 5000, [&] {
    sink = settings.ReadSettingInteger(RegistryRoot::LocalMachine, path, u"ProcessorLimit", 0);
  });
  Measure("ReadSettingInteger (missing value)", 5000, [&] {
    sink = settings.ReadSettingInteger(RegistryRoot::LocalMachine, path, u"ExecutePeriod", 5);
  });
  Measure("ReadSettingString (6 characters)", 5000, [&] {
    sink = static_cast<int>(
        settings.ReadSettingString(RegistryRoot::LocalMachine, path, u"Language", u"english")
            .size());
  });
  Measure("WriteSettingBool", 2000, [&] {
    settings.WriteSettingBool(RegistryRoot::LocalMachine, path, u"FullScreen", true);
  });
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\VELTRA\\NimbelloBench");
  return sink == 12345 ? 1 : 0;
}
