#pragma once
// Fonts of a window and its components, kept to the desktop's look: the window's font no larger
// than 9 points, each component font in the window's typeface and no smaller than the window's.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct FormFont {
  std::u16string name;  // typeface
  int32_t size = 0;     // points; negative when the font was given by cell height
};

class FontedComponent {
 public:
  virtual ~FontedComponent() = default;
  // Whether the component follows its parent's font; nothing when it has no such flag.
  virtual std::optional<bool> ParentFont() const = 0;
  // Its own font, or nullptr when it has none.
  virtual FormFont* OwnFont() = 0;
};

class FontedForm {
 public:
  virtual ~FontedForm() = default;
  virtual FormFont& Font() = 0;
  virtual std::span<FontedComponent* const> FontedComponents() = 0;
};

inline constexpr int32_t LargestFormFontSize = 9;

void NormalizeFormFonts(FontedForm& form);
