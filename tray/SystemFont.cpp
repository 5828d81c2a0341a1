#include "tray/SystemFont.h"

#include "foundation/base/Guard.h"

void NormalizeFormFonts(FontedForm& form) {
  guarded([&] {
    FormFont& font = form.Font();
    if (font.size > LargestFormFontSize) {
      font.size = LargestFormFontSize;
    }
    for (FontedComponent* component : form.FontedComponents()) {
      if (component->ParentFont().value_or(false)) {
        continue;
      }
      FormFont* own = component->OwnFont();
      if (own == nullptr) {
        continue;
      }
      own->name = font.name;
      if (own->size < font.size) {
        own->size = font.size;
      }
    }
  });
}
