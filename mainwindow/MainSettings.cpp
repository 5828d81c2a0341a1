#include "mainwindow/MainSettings.h"

#include <limits>
#include <stdexcept>

#include "foundation/Constants.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/Text.h"
#include "tray/CustomTrayIconImage.h"

namespace {

// In table order, which is also the order of SettingId. The ranges keep a release meaningful:
// a share of 0 or all of memory, or a period of 0, would make the service release on every tick
// or never; a day is the longest useful period.
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
}};

// The languages whose files every program carries.
constexpr std::array<std::u16string_view, 2> Languages{u"english", u"french"};

// Windows 7 draws its notification area light, so the graph defaults to light colours there.
constexpr int32_t Windows7Code = 5;

}  // namespace

const SettingDefinition& DefinitionOf(SettingId id) {
  return Definitions.at(static_cast<size_t>(id));
}

SettingValue DefaultSettingValue(SettingId id, const MachineFacts& machine) {
  const bool large = IsLargeMemoryClass(machine.totalPhysicalBytes);
  const bool windows7 = machine.versionCode == Windows7Code;
  switch (id) {
    case SettingId::MemoryMaintain:
      return MemoryMaintainDefault(large);
    case SettingId::MemoryFree:
      return MemoryFreeDefault(large);
    case SettingId::ExecutePeriod:
      return int32_t{5};
    case SettingId::ProcessorTrigger:
      return int32_t{85};
    case SettingId::ProcessorLimit:
    case SettingId::FullScreenCheck:
    case SettingId::LoadNimbello:
    case SettingId::LoadTrayIcon:
      return true;
    case SettingId::BatteryCheck:
      return false;
    case SettingId::BackgroundColor:
      return std::u16string(windows7 ? u"clWhite" : u"clBlack");
    case SettingId::GridColor:
      return std::u16string(windows7 ? u"clGray" : u"clGreen");
    case SettingId::BarColor:
      return std::u16string(windows7 ? u"clGreen" : u"clLime");
    case SettingId::Language:
      return std::u16string(Constants::DefaultLanguage);
  }
  throw std::out_of_range("unknown setting");
}

int32_t SettingValues::Integer(SettingId id) const {
  return std::get<int32_t>((*this)[id]);
}

bool SettingValues::Boolean(SettingId id) const {
  return std::get<bool>((*this)[id]);
}

const std::u16string& SettingValues::Text(SettingId id) const {
  return std::get<std::u16string>((*this)[id]);
}

SettingValues ReadEffectiveSettings(const CustomRegistry& settings, const MachineFacts& machine) {
  SettingValues values;
  for (const SettingDefinition& d : Definitions) {
    const SettingValue fallback = DefaultSettingValue(d.id, machine);
    switch (d.kind) {
      case SettingKind::Integer:
        values[d.id] = settings.ReadSettingInteger(d.name, std::get<int32_t>(fallback));
        break;
      case SettingKind::Boolean:
        values[d.id] = settings.ReadSettingBool(d.name, std::get<bool>(fallback));
        break;
      case SettingKind::Color:
      case SettingKind::Language:
        values[d.id] = settings.ReadSettingString(d.name, std::get<std::u16string>(fallback));
        break;
    }
  }
  return values;
}

std::optional<int32_t> ParseWholeNumber(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return ParseDecimalInt32(text);
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
      for (const std::u16string_view language : Languages) {
        if (EqualsIgnoreAsciiCase(*text, language)) {
          return true;
        }
      }
      return false;
    }
  }
  return false;
}

std::vector<SettingId> ChangedSettings(const SettingValues& stored, const SettingValues& edited) {
  std::vector<SettingId> changed;
  for (const SettingDefinition& d : Definitions) {
    if (stored[d.id] != edited[d.id]) {
      changed.push_back(d.id);
    }
  }
  return changed;
}

namespace {

bool WriteSetting(const CustomRegistry& settings, SettingId id, const SettingValue& value) {
  const SettingDefinition& d = DefinitionOf(id);
  switch (d.kind) {
    case SettingKind::Integer:
      return settings.TryWriteSettingInteger(d.name, std::get<int32_t>(value));
    case SettingKind::Boolean:
      return settings.TryWriteSettingBool(d.name, std::get<bool>(value));
    case SettingKind::Color:
    case SettingKind::Language:
      return settings.TryWriteSettingString(d.name, std::get<std::u16string>(value));
  }
  return false;
}

}  // namespace

SaveResult SaveChangedSettings(const CustomRegistry& settings, SettingValues& stored,
                               const SettingValues& edited) {
  SaveResult result;
  const std::vector<SettingId> changed = ChangedSettings(stored, edited);
  for (const SettingId id : changed) {
    if (!IsValidSetting(id, edited[id])) {
      result.invalid.push_back(id);
    }
  }
  if (!result.invalid.empty()) {
    return result;
  }
  // Every value is tried, so one refusal does not hold back the others; the failed ones stay
  // changed and are tried again on the next save.
  for (const SettingId id : changed) {
    if (WriteSetting(settings, id, edited[id])) {
      stored[id] = edited[id];
      result.written.push_back(id);
    } else {
      result.failed.push_back(id);
    }
  }
  return result;
}
