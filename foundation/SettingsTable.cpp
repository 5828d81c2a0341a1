#include "foundation/SettingsTable.h"

#include <stdexcept>
#include <utility>

#include "foundation/Constants.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/UsageGraph.h"
#include "foundation/base/Text.h"

namespace {

// In the order of SettingId. The ranges keep a release meaningful: a share of 0 or all of memory,
// or a period of 0, would make the service release on every tick or never; a day is the longest
// useful period.
constexpr auto Key = SettingPlace::SettingsKey;
constexpr auto Policy = SettingPlace::PolicyFirst;
constexpr std::array<SettingDefinition, SettingCount> Definitions{{
    {SettingId::MemoryMaintain, Constants::MemoryMaintain, SettingKind::Integer, Policy, 1, 99},
    {SettingId::MemoryFree, Constants::MemoryFree, SettingKind::Integer, Policy, 1, 99},
    {SettingId::ExecutePeriod, Constants::ExecutePeriod, SettingKind::Integer, Policy, 1, 1440},
    {SettingId::ProcessorLimit, Constants::ProcessorLimit, SettingKind::Boolean, Policy},
    {SettingId::ProcessorTrigger, Constants::ProcessorTrigger, SettingKind::Integer, Policy, 1,
     100},
    {SettingId::BatteryCheck, Constants::BatteryCheck, SettingKind::Boolean, Policy},
    {SettingId::FullScreenCheck, Constants::FullScreenCheck, SettingKind::Boolean, Policy},
    {SettingId::LoadNimbello, Constants::LoadNimbello, SettingKind::Boolean, Policy},
    {SettingId::LoadTrayIcon, Constants::LoadTrayIcon, SettingKind::Boolean, Policy},
    {SettingId::BackgroundColor, Constants::BackgroundColor, SettingKind::Color, Policy},
    {SettingId::GridColor, Constants::GridColor, SettingKind::Color, Policy},
    {SettingId::BarColor, Constants::BarColor, SettingKind::Color, Policy},
    {SettingId::Language, Constants::Language, SettingKind::Language, Policy},
    {SettingId::FullScreen, Constants::FullScreen, SettingKind::Boolean, Key},
    {SettingId::DefragMemory, Constants::DefragMemory, SettingKind::Boolean, Key},
    {SettingId::Updated, Constants::Updated, SettingKind::Boolean, Key},
    {SettingId::UpdatedDate, Constants::UpdatedDate, SettingKind::Text, Key},
    {SettingId::UpdateCheck, Constants::UpdateCheck, SettingKind::Boolean,
     SettingPlace::PolicyOnly},
}};

}  // namespace

const SettingDefinition& DefinitionOf(SettingId id) {
  return Definitions.at(static_cast<size_t>(id));
}

std::span<const SettingDefinition, OfferedSettingCount> OfferedSettings() {
  // The offered settings lead the table.
  return std::span(Definitions).first<OfferedSettingCount>();
}

std::span<const SettingDefinition, SettingCount> AllSettings() {
  return Definitions;
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
    case SettingId::UpdateCheck:
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

bool IsValidSetting(SettingId id, const SettingValue& value) {
  const SettingDefinition& d = DefinitionOf(id);
  switch (d.kind) {
    case SettingKind::Integer: {
      const auto* n = std::get_if<int32_t>(&value);
      return n != nullptr && *n >= d.minimum && *n <= d.maximum;
    }
    case SettingKind::Boolean:
      return std::holds_alternative<bool>(value);
    case SettingKind::Color: {
      const auto* text = std::get_if<std::u16string>(&value);
      return text != nullptr && ColorFromName(*text).has_value();
    }
    case SettingKind::Language: {
      const auto* text = std::get_if<std::u16string>(&value);
      if (text == nullptr) {
        return false;
      }
      for (const std::u16string_view language : CarriedLanguages) {
        if (EqualsIgnoreAsciiCase(*text, language)) {
          return true;
        }
      }
      return false;
    }
    case SettingKind::Text:
      return false;  // no window offers one and no policy fixes one
  }
  return false;
}

std::optional<SettingValue> ReadPolicySetting(const CustomRegistry& settings, SettingId id) {
  const SettingDefinition& d = DefinitionOf(id);
  if (d.place == SettingPlace::SettingsKey) {
    return std::nullopt;
  }
  std::optional<SettingValue> value;
  switch (d.kind) {
    case SettingKind::Integer:
      if (const std::optional<int32_t> n = settings.ReadPolicyDword(d.name)) {
        value = *n;
      }
      break;
    case SettingKind::Boolean:
      // Only what the template writes: any other number is a mistake, not "on".
      if (const std::optional<int32_t> n = settings.ReadPolicyDword(d.name);
          n.has_value() && (*n == 0 || *n == 1)) {
        value = *n == 1;
      }
      break;
    case SettingKind::Color:
    case SettingKind::Language:
    case SettingKind::Text:
      if (std::optional<std::u16string> text = settings.ReadPolicyString(d.name)) {
        value = std::move(*text);
      }
      break;
  }
  // A policy the programs could not use is as if it were absent.
  if (value && !IsValidSetting(id, *value)) {
    return std::nullopt;
  }
  return value;
}

SettingValue ReadSetting(const CustomRegistry& settings, SettingId id,
                         const MachineFacts& machine) {
  const SettingDefinition& d = DefinitionOf(id);
  if (std::optional<SettingValue> policy = ReadPolicySetting(settings, id)) {
    return std::move(*policy);
  }
  SettingValue fallback = DefaultSettingValue(id, machine);
  if (d.place == SettingPlace::PolicyOnly) {
    return fallback;
  }
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
