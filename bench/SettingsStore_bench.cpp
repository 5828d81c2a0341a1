// Cost of settings reads in the portable store, over a registry port that itself allocates nothing.
#include "support/AllocationCounter.h"
#include "support/StaticRegistry.h"
#include "foundation/CustomRegistry.h"

int main() {
  bench::StaticRegistry registry;
  registry.PutDword(u"ExecutePeriod", 5);
  registry.PutDword(u"ProcessorLimit", 1);
  registry.PutString(u"Language", u"french");
  CustomRegistry settings(registry);
  volatile int32_t sink = 0;
  std::printf("settings store, core only (static registry port)\n");
  bench::Measure("ReadSettingInteger (stored)", 1000000,
                 [&] { sink = settings.ReadSettingInteger(u"ExecutePeriod", 1); });
  bench::Measure("ReadSettingBool (stored)", 1000000,
                 [&] { sink = settings.ReadSettingBool(u"ProcessorLimit", false); });
  bench::Measure("ReadSettingBool (missing, default)", 1000000,
                 [&] { sink = settings.ReadSettingBool(u"BatteryCheck", false); });
  bench::Measure("ReadSettingString (6 characters)", 1000000, [&] {
    sink = static_cast<int32_t>(settings.ReadSettingString(u"Language", u"english").size());
  });
  bench::Measure("WriteSettingBool", 1000000,
                 [&] { settings.WriteSettingBool(u"FullScreen", true); });
  return sink == 12345 ? 1 : 0;
}
