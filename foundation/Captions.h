#pragma once
// User-visible texts from the language file chosen by the setting "Language". Nothing is cached:
// every call reads the setting, loads the resource and parses it anew.
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "foundation/CustomRegistry.h"
#include "foundation/ResourcePort.h"

enum class ComponentKind {
  Label,
  Button,
  MenuItem,
  NotificationIcon,  // the text sets its tooltip
  Other,             // takes no text
};

// A component that a window owns, as the language file addresses it.
class CaptionedComponent {
 public:
  virtual ~CaptionedComponent() = default;
  virtual std::u16string_view ComponentName() const = 0;
  virtual ComponentKind Kind() const = 0;
  virtual void SetCaption(std::u16string_view text) = 0;
};

// A window with its component name (its section in the language file) and its components.
class CaptionedWindow {
 public:
  virtual ~CaptionedWindow() = default;
  virtual std::u16string_view ComponentName() const = 0;
  virtual void SetCaption(std::u16string_view text) = 0;  // the window's title
  virtual std::span<CaptionedComponent* const> Components() = 0;
};

// The text of the last entry whose section and key match (ASCII letters without regard to case),
// or the empty text.
std::u16string GetCaption(const CustomRegistry& settings, ResourcePort& resources,
                          std::u16string_view section, std::u16string_view key);

// Applies every entry of the window's section to the window and its components.
void ApplyCaptions(const CustomRegistry& settings, ResourcePort& resources,
                   CaptionedWindow& window);

// %1 to %9 replaced by the arguments in order; a number without an argument, and "%" before
// anything else, stay as they are.
std::u16string FormatCaption(std::u16string_view pattern,
                             std::initializer_list<std::u16string_view> arguments);
