#include "foundation/SettingsTable.h"

#include <stdexcept>

#include "foundation/Constants.h"
#include "foundation/ReleaseRequest.h"

namespace {

// In the order of SettingId. The ranges keep a release meaningful: a share of 0 or all of memory,
// or a period of 0, would make the service release on every tick or never; a day is the longest
// useful period.
constexpr std::array<SettingDefinition, SettingCount> Definitions{{
    {SettingId::MemoryMaintain, Constants::MemoryMaintain, SettingKind::Integer, 1, 99},
    {SettingId::MemoryFree, Constants::MemoryFree, SettingKind::Integer, 1, 99},
    {SettingId::ExecutePeriod, Constants::ExecutePeriod, SettingKind::Integer, 1, 1440},
    {SettingId::ProcessorLimit, Constants::ProcessorLimit, SettingKind::Boolean},
    {SettingId::ProcessorTrigger, Constants::ProcessorTrigger, SettingKind::Integer, 1, 100},
    {SettingId::BatteryCheck, Constants::BatteryCheck, SettingKind::Boolean},
    {SettingId::FullScreenCheck, Constants::FullScreenCheck, SettingKind::Boolean},
    {SettingId::LoadNimbello, Constants::LoadNimbello, SettingKind::Boolean},
    {SettingId::LoadTrayIcon, Constants::LoadTrayIcon, SettingKind::Boolean},
    {SettingId::BackgroundColor, Constants::BackgroundColor, SettingKind::Color},
    {SettingId::GridColor, Constants::GridColor, SettingKind::Color},
    {SettingId::BarColor, Constants::BarColor, SettingKind::Color},
    {SettingId::Language, Constants::Language, SettingKind::Language},
    {SettingId::FullScreen, Constants::FullScreen, SettingKind::Boolean},
    {SettingId::DefragMemory, Constants::DefragMemory, SettingKind::Boolean},
    {SettingId::Updated, Constants::Updated, SettingKind::Boolean},
    {SettingId::UpdatedDate, Constants::UpdatedDate, SettingKind::Text},
}};

}  // namespace

const SettingDefinition& DefinitionOf(SettingId id) {
  return Definitions.at(static_cast<size_t>(id));
}

std::span<const SettingDefinition, OfferedSettingCount> OfferedSettings() {
  // The offered settings lead the table.
  return std::span(Definitions).first<OfferedSettingCount>();
}

SettingValue DefaultSettingValue(SettingId id, const MachineFacts& machine) {
  const bool large = IsLargeMemoryClass(machine.totalPhysicalBytes);
  const bool light = machine.versionCode >= LightColorsVersionCode;
  switch (id) {
    case SettingId::MemoryMaintain:
      return int32_t{large ? 30 : 20};
    case SettingId::MemoryFree:
      return int32_t{large ? 60 : 40};
    case SettingId::ExecutePeriod:
      return int32_t{5};
    case SettingId::ProcessorTrigger:
      return int32_t{85};
    case SettingId::ProcessorLimit:
    case SettingId::FullScreenCheck:
    case SettingId::LoadNimbello:
    case SettingId::LoadTrayIcon:
    case SettingId::DefragMemory:
      return true;
    case SettingId::BatteryCheck:
    case SettingId::FullScreen:
    case SettingId::Updated:
      return false;
    case SettingId::BackgroundColor:
      return std::u16string(light ? u"clWhite" : u"clBlack");
    case SettingId::GridColor:
      return std::u16string(light ? u"clGray" : u"clGreen");
    case SettingId::BarColor:
      return std::u16string(light ? u"clGreen" : u"clLime");
    case SettingId::Language:
      return std::u16string(Constants::DefaultLanguage);
    case SettingId::UpdatedDate:
      return std::u16string();
  }
  throw std::out_of_range("unknown setting");
}

SettingValue ReadSetting(const CustomRegistry& settings, SettingId id,
                         const MachineFacts& machine) {
  const SettingDefinition& d = DefinitionOf(id);
  const SettingValue fallback = DefaultSettingValue(id, machine);
  switch (d.kind) {
    case SettingKind::Integer:
      return settings.ReadSettingInteger(d.name, std::get<int32_t>(fallback));
    case SettingKind::Boolean:
      return settings.ReadSettingBool(d.name, std::get<bool>(fallback));
    case SettingKind::Color:
    case SettingKind::Language:
    case SettingKind::Text:
      return settings.ReadSettingString(d.name, std::get<std::u16string>(fallback));
  }
  throw std::out_of_range("unknown kind");
}

int32_t ReadSettingInteger(const CustomRegistry& settings, SettingId id,
                           const MachineFacts& machine) {
  return std::get<int32_t>(ReadSetting(settings, id, machine));
}

bool ReadSettingBool(const CustomRegistry& settings, SettingId id) {
  return std::get<bool>(ReadSetting(settings, id, MachineFacts{}));
}

std::u16string ReadSettingString(const CustomRegistry& settings, SettingId id,
                                 const MachineFacts& machine) {
  return std::get<std::u16string>(ReadSetting(settings, id, machine));
}
