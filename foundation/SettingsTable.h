#pragma once
// The settings table: every value of the settings key that a program reads, with its registry
// name, its kind, the rule of its default and the range the main window offers, and the values
// an administrator may fix in the policy key. The service, the tray, the release requests and the
// main window all read through it, so a default and a policy have one definition each. Nothing is
// cached: every read opens the key, reads one value and closes it again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "foundation/CustomRegistry.h"

enum class SettingId : uint8_t {
  // Offered by the main window, in its order.
  MemoryMaintain,
  MemoryFree,
  ExecutePeriod,
  ProcessorLimit,
  ProcessorTrigger,
  BatteryCheck,
  FullScreenCheck,
  LoadNimbello,
  LoadTrayIcon,
  BackgroundColor,
  GridColor,
  BarColor,
  Language,
  // Exchanged between the programs; no window offers them.
  FullScreen,
  DefragMemory,
  Updated,
  UpdatedDate,
  // Only in the policy key.
  UpdateCheck,
};
inline constexpr size_t OfferedSettingCount = 13;
inline constexpr size_t SettingCount = 18;

enum class SettingKind : uint8_t {
  Integer,   // REG_DWORD, signed 32-bit, within [minimum, maximum]
  Boolean,   // REG_DWORD 1 or 0
  Color,     // REG_SZ, a colour name or number the usage graph accepts
  Language,  // REG_SZ, the name of a language the programs carry
  Text,      // REG_SZ, free text (a date-time stamp)
};

// Where a value is read from. A policy value comes first; the settings key (or the default) is
// read only when the policy key holds no valid value of that name.
enum class SettingPlace : uint8_t {
  SettingsKey,  // exchanged between the programs: no administrator fixes it
  PolicyFirst,  // the policy key, then the settings key
  PolicyOnly,   // the policy key, then the default
};

struct SettingDefinition {
  SettingId id;
  std::u16string_view name;  // the registry value, the same in both keys
  SettingKind kind;
  SettingPlace place;
  int32_t minimum = 0;  // of an Integer; a Boolean takes 0 and 1
  int32_t maximum = 0;
};

const SettingDefinition& DefinitionOf(SettingId id);

// The settings the main window offers, in its order.
std::span<const SettingDefinition, OfferedSettingCount> OfferedSettings();

// The whole table, in the order of SettingId.
std::span<const SettingDefinition, SettingCount> AllSettings();

// The languages whose files every program carries, in the order the window lists them.
inline constexpr std::array<std::u16string_view, 2> CarriedLanguages{u"english", u"french"};

// Windows 7 draws its notification area light, so the graph defaults to light colours there.
inline constexpr int32_t LightColorsVersionCode = 5;

using SettingValue = std::variant<int32_t, bool, std::u16string>;

// What the defaults depend on: the memory class (from the total) and the Windows version code.
// Only the memory shares use the first, only the colours the second.
struct MachineFacts {
  int64_t totalPhysicalBytes = 0;
  int32_t versionCode = -1;
};

// The default of an empty UpdatedDate is the reader's own "now"; the table gives an empty text
// for it, which the reader replaces.
SettingValue DefaultSettingValue(SettingId id, const MachineFacts& machine);

// Of the right kind, within its range, a colour the renderer draws, a language the programs carry.
// A Boolean of the policy key must be stored as 0 or 1; that is checked where it is read.
bool IsValidSetting(SettingId id, const SettingValue& value);

// The administrator's value of the setting when the policy key holds a valid one, else nothing.
std::optional<SettingValue> ReadPolicySetting(const CustomRegistry& settings, SettingId id);

// One read of the setting: the administrator's valid value, else the settings key's with its own
// default, by its kind. The policy read of a value comes just before its settings read.
SettingValue ReadSetting(const CustomRegistry& settings, SettingId id, const MachineFacts& machine);
int32_t ReadSettingInteger(const CustomRegistry& settings, SettingId id,
                           const MachineFacts& machine);
bool ReadSettingBool(const CustomRegistry& settings, SettingId id);
std::u16string ReadSettingString(const CustomRegistry& settings, SettingId id,
                                 const MachineFacts& machine);
