#include "foundation/Captions.h"

#include <optional>

#include "foundation/base/Guard.h"
#include "foundation/LanguageFile.h"
#include "foundation/SettingsTable.h"
#include "foundation/base/Text.h"

namespace {

// The language file chosen by the setting, decoded; nothing when the program carries no resource
// of that name.
std::optional<std::u16string> LoadLanguageText(const CustomRegistry& settings,
                                               ResourcePort& resources) {
  const std::u16string name = LowerAscii(ReadSettingString(settings, SettingId::Language, {}));
  const std::optional<std::vector<std::byte>> bytes = resources.LoadRawData(name);
  if (!bytes) {
    return std::nullopt;
  }
  return DecodeLanguageText(*bytes, resources);
}

CaptionedComponent* FindComponent(CaptionedWindow& window, std::u16string_view name) {
  for (CaptionedComponent* component : window.Components()) {
    if (component != nullptr && EqualsIgnoreAsciiCase(component->ComponentName(), name)) {
      return component;
    }
  }
  return nullptr;
}

bool TakesCaption(ComponentKind kind) {
  switch (kind) {
    case ComponentKind::Label:
    case ComponentKind::Button:
    case ComponentKind::MenuItem:
    case ComponentKind::NotificationIcon:
      return true;
    case ComponentKind::Other:
      break;
  }
  return false;
}

}  // namespace

std::u16string GetCaption(const CustomRegistry& settings, ResourcePort& resources,
                          std::u16string_view section, std::u16string_view key) {
  return guarded_or(std::u16string(), [&] {
    std::u16string caption;
    const std::optional<std::u16string> text = LoadLanguageText(settings, resources);
    if (!text) {
      return caption;
    }
    // A line that cannot be used ends the scan; what was found before it stands.
    VisitLanguageEntries(*text, [&](const std::vector<std::u16string>& fields) {
      if (fields.empty()) {
        return false;
      }
      if (!EqualsIgnoreAsciiCase(fields[0], section)) {
        return true;
      }
      if (fields.size() < 2) {
        return false;
      }
      if (!EqualsIgnoreAsciiCase(fields[1], key)) {
        return true;
      }
      if (fields.size() < 3) {
        return false;
      }
      caption = fields[2];
      return true;
    });
    return caption;
  });
}

void ApplyCaptions(const CustomRegistry& settings, ResourcePort& resources,
                   CaptionedWindow& window) {
  guarded([&] {
    const std::optional<std::u16string> text = LoadLanguageText(settings, resources);
    if (!text) {
      return;
    }
    const std::u16string windowName(window.ComponentName());
    VisitLanguageEntries(*text, [&](const std::vector<std::u16string>& fields) {
      if (fields.empty()) {
        return false;
      }
      if (!EqualsIgnoreAsciiCase(fields[0], windowName)) {
        return true;
      }
      if (fields.size() < 2) {
        return false;
      }
      // Only the exact name sets the title; in other letter case the key names a component.
      if (fields[1] == windowName) {
        if (fields.size() < 3) {
          return false;
        }
        window.SetCaption(fields[2]);
        return true;
      }
      CaptionedComponent* component = FindComponent(window, fields[1]);
      if (component == nullptr || !TakesCaption(component->Kind())) {
        return true;
      }
      if (fields.size() < 3) {
        return false;
      }
      component->SetCaption(fields[2]);
      return true;
    });
  });
}

std::u16string FormatCaption(std::u16string_view pattern,
                             std::initializer_list<std::u16string_view> arguments) {
  std::u16string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9') {
      const auto n = static_cast<size_t>(pattern[i + 1] - u'1');
      if (n < arguments.size()) {
        text += *(arguments.begin() + n);
        ++i;
        continue;
      }
    }
    text.push_back(c);
  }
  return text;
}
