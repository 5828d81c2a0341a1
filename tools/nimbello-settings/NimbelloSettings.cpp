// Prints the settings table as JSON on standard output: every value with its kind, where it is
// read from, the rule of its default and its range, and the two keys. docs/help/make_help.py makes
// the help's facts, the README's blocks and the policy template from it.
#include <cstdio>
#include <string>
#include <variant>

#include "foundation/Constants.h"
#include "foundation/SettingsTable.h"
#include "foundation/base/Text.h"

namespace {

std::string Quoted(std::u16string_view text) {
  std::string out = "\"";
  for (const char c : ToUtf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

// A key path as the template and the README write it: relative to HKLM, no outer backslashes.
std::string KeyPath(std::u16string_view path) {
  while (!path.empty() && path.front() == u'\\') {
    path.remove_prefix(1);
  }
  while (!path.empty() && path.back() == u'\\') {
    path.remove_suffix(1);
  }
  return Quoted(path);
}

std::string Json(const SettingValue& value) {
  if (const auto* n = std::get_if<int32_t>(&value)) {
    return std::to_string(*n);
  }
  if (const auto* b = std::get_if<bool>(&value)) {
    return *b ? "true" : "false";
  }
  return Quoted(std::get<std::u16string>(value));
}

const char* KindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Integer:
      return "integer";
    case SettingKind::Boolean:
      return "boolean";
    case SettingKind::Color:
      return "colour";
    case SettingKind::Language:
      return "language";
    case SettingKind::Text:
      return "text";
  }
  return "?";
}

const char* PlaceName(SettingPlace place) {
  switch (place) {
    case SettingPlace::SettingsKey:
      return "settings";
    case SettingPlace::PolicyFirst:
      return "policy";
    case SettingPlace::PolicyOnly:
      return "policy only";
  }
  return "?";
}

// The default as a rule: one value, or one per memory class, or one for Windows 7 and one for
// the rest; the stamp's empty default stands for the reader's own "now".
std::string DefaultRule(SettingId id) {
  constexpr int64_t Megabyte = int64_t{1024} * 1024;
  const MachineFacts large{Constants::LargeMemoryMegabytes * Megabyte, -1};
  const MachineFacts small{(Constants::LargeMemoryMegabytes - 1) * Megabyte, -1};
  const MachineFacts seven{Constants::LargeMemoryMegabytes * Megabyte, LightColorsVersionCode};
  const SettingValue base = DefaultSettingValue(id, large);
  if (id == SettingId::UpdatedDate) {
    return R"({"rule": "now"})";
  }
  if (const SettingValue other = DefaultSettingValue(id, small); other != base) {
    return R"({"rule": "memory class", "large": )" + Json(base) + R"(, "small": )" + Json(other) +
           "}";
  }
  if (const SettingValue other = DefaultSettingValue(id, seven); other != base) {
    return R"({"rule": "windows 7", "windows 7": )" + Json(other) + R"(, "other": )" + Json(base) +
           "}";
  }
  return R"({"rule": "fixed", "value": )" + Json(base) + "}";
}

}  // namespace

int main() {
  std::printf("{\n  \"settingsKey\": %s,\n  \"policyKey\": %s,\n",
              KeyPath(Constants::SettingsKey).c_str(), KeyPath(Constants::PolicyKey).c_str());
  std::printf("  \"largeMemoryMegabytes\": %lld,\n",
              static_cast<long long>(Constants::LargeMemoryMegabytes));
  std::string languages;
  for (const std::u16string_view language : CarriedLanguages) {
    languages += (languages.empty() ? "" : ", ") + Quoted(language);
  }
  std::printf("  \"languages\": [%s],\n  \"settings\": [\n", languages.c_str());
  const auto all = AllSettings();
  for (size_t i = 0; i < all.size(); ++i) {
    const SettingDefinition& d = all[i];
    std::string range;
    if (d.kind == SettingKind::Integer) {
      range = ", \"range\": [" + std::to_string(d.minimum) + ", " + std::to_string(d.maximum) + "]";
    }
    std::printf(
        "    {\"name\": %s, \"kind\": \"%s\", \"place\": \"%s\", \"offered\": %s%s,\n"
        "     \"default\": %s}%s\n",
        Quoted(d.name).c_str(), KindName(d.kind), PlaceName(d.place),
        i < OfferedSettingCount ? "true" : "false", range.c_str(), DefaultRule(d.id).c_str(),
        i + 1 < all.size() ? "," : "");
  }
  std::printf("  ]\n}\n");
  return 0;
}
