#include "tray/SystemFont.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "foundation/base/Text.h"

namespace {

class Component : public FontedComponent {
 public:
  Component(std::optional<bool> parentFont, std::optional<FormFont> font, bool fail = false)
      : parent_(parentFont), font_(std::move(font)), fail_(fail) {}
  std::optional<bool> ParentFont() const override { return parent_; }
  FormFont* OwnFont() override {
    if (fail_) {
      throw std::runtime_error("font unavailable");
    }
    return font_ ? &*font_ : nullptr;
  }
  const std::optional<FormFont>& font() const { return font_; }

 private:
  std::optional<bool> parent_;
  std::optional<FormFont> font_;
  bool fail_;
};

class Form : public FontedForm {
 public:
  FormFont font;
  std::vector<Component> components;
  std::vector<FontedComponent*> pointers;
  FormFont& Font() override { return font; }
  std::span<FontedComponent* const> FontedComponents() override {
    pointers.clear();
    for (auto& c : components) {
      pointers.push_back(&c);
    }
    return pointers;
  }
};

TEST(NormalizeFormFonts, WindowFontAtMostNinePoints) {
  struct Case {
    int32_t size;
    int32_t expected;
  };
  const Case cases[] = {{8, 8}, {9, 9}, {10, 9}, {72, 9}, {-11, -11}, {0, 0}};
  for (const auto& c : cases) {
    Form form;
    form.font = {u"Segoe UI", c.size};
    NormalizeFormFonts(form);
    EXPECT_EQ(form.font.size, c.expected) << c.size;
    EXPECT_EQ(ToUtf8(form.font.name), "Segoe UI");
  }
}

TEST(NormalizeFormFonts, ComponentsTakeTypefaceAndAtLeastTheWindowSize) {
  struct Case {
    const char* what;
    std::optional<bool> parentFont;
    std::optional<FormFont> font;
    std::optional<FormFont> expected;
  };
  const Case cases[] = {
      {"no font", std::nullopt, std::nullopt, std::nullopt},
      {"follows its parent", true, FormFont{u"Arial", 6}, FormFont{u"Arial", 6}},
      {"smaller is raised", false, FormFont{u"Arial", 6}, FormFont{u"Tahoma", 9}},
      {"larger stays", false, FormFont{u"Arial", 14}, FormFont{u"Tahoma", 14}},
      {"equal", std::nullopt, FormFont{u"Arial", 9}, FormFont{u"Tahoma", 9}},
  };
  for (const auto& c : cases) {
    Form form;
    form.font = {u"Tahoma", 12};  // lowered to 9 first; components compare with 9
    form.components.emplace_back(c.parentFont, c.font);
    NormalizeFormFonts(form);
    ASSERT_EQ(form.components[0].font().has_value(), c.expected.has_value()) << c.what;
    if (c.expected) {
      EXPECT_EQ(ToUtf8(form.components[0].font()->name), ToUtf8(c.expected->name)) << c.what;
      EXPECT_EQ(form.components[0].font()->size, c.expected->size) << c.what;
    }
  }
}

TEST(NormalizeFormFonts, FailureEndsTheRoutineQuietly) {
  Form form;
  form.font = {u"Tahoma", 12};
  form.components.emplace_back(false, FormFont{u"Arial", 6});
  form.components.emplace_back(false, std::nullopt, /*fail=*/true);
  form.components.emplace_back(false, FormFont{u"Arial", 6});
  EXPECT_NO_THROW(NormalizeFormFonts(form));
  EXPECT_EQ(form.font.size, 9);
  EXPECT_EQ(ToUtf8(form.components[0].font()->name), "Tahoma");
  EXPECT_EQ(ToUtf8(form.components[2].font()->name), "Arial") << "steps after the failure skipped";
}

}  // namespace
