#include "mainwindow/MainSettings.h"

#include "foundation/Constants.h"
#include "foundation/base/Text.h"
#include "foundation/UsageGraph.h"

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
  for (const SettingDefinition& d : OfferedSettings()) {
    values[d.id] = ReadSetting(settings, d.id, machine);
  }
  return values;
}

std::optional<int32_t> ParseWholeNumber(std::u16string_view text) {
  return ParseDecimalInt32(TrimBlanks(text));
}

std::vector<SettingId> ChangedSettings(const SettingValues& stored, const SettingValues& edited) {
  std::vector<SettingId> changed;
  for (const SettingDefinition& d : OfferedSettings()) {
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
    case SettingKind::Text:
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
