#pragma once
// The settings that the main window edits, from the programs' own settings table, so the window,
// Apply and the programs that read them agree. The window shows the effective values (the stored
// ones, or the defaults the programs would use on this machine), and Apply writes only what the
// user changed, each value with its own registry type.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "foundation/SettingsTable.h"

class SettingValues {
 public:
  const SettingValue& operator[](SettingId id) const { return values_[Index(id)]; }
  SettingValue& operator[](SettingId id) { return values_[Index(id)]; }
  int32_t Integer(SettingId id) const;
  bool Boolean(SettingId id) const;
  const std::u16string& Text(SettingId id) const;
  bool operator==(const SettingValues&) const = default;

 private:
  static size_t Index(SettingId id) { return static_cast<size_t>(id); }
  std::array<SettingValue, SettingCount> values_;
};

// Every setting as the programs would read it now, each with its own default.
SettingValues ReadEffectiveSettings(const CustomRegistry& settings, const MachineFacts& machine);

// Decimal digits with an optional sign and blanks around them, within the 32-bit range.
std::optional<int32_t> ParseWholeNumber(std::u16string_view text);

// The settings whose edited value differs from the stored one, in table order.
std::vector<SettingId> ChangedSettings(const SettingValues& stored, const SettingValues& edited);

struct SaveResult {
  std::vector<SettingId> invalid;  // changed values refused before anything was written
  std::vector<SettingId> written;
  std::vector<SettingId> failed;  // refused by the registry; still to be saved
  bool Complete() const { return invalid.empty() && failed.empty(); }
};

// Checks every changed value first and writes nothing when one is invalid; otherwise writes each
// changed value with its own type and records it as stored when the registry took it. A value
// left unchanged is never written, even when it is only a default.
SaveResult SaveChangedSettings(const CustomRegistry& settings, SettingValues& stored,
                               const SettingValues& edited);
