#pragma once
// A window and its components that record every caption set on them, in order.
#include <memory>
#include <string>
#include <vector>

#include "foundation/Captions.h"

class FakeCaptionedWindow : public CaptionedWindow {
 public:
  struct Set {
    std::u16string target;  // the component name, or the window's name for its title
    std::u16string text;
    bool operator==(const Set&) const = default;
  };

  explicit FakeCaptionedWindow(std::u16string name) : name_(std::move(name)) {}

  void Add(std::u16string name, ComponentKind kind) {
    owned_.push_back(std::make_unique<Component>(*this, std::move(name), kind));
    components_.push_back(owned_.back().get());
  }

  std::u16string_view ComponentName() const override { return name_; }
  void SetCaption(std::u16string_view text) override {
    sets.push_back({name_, std::u16string(text)});
  }
  std::span<CaptionedComponent* const> Components() override { return components_; }

  std::vector<Set> sets;

 private:
  class Component : public CaptionedComponent {
   public:
    Component(FakeCaptionedWindow& owner, std::u16string name, ComponentKind kind)
        : owner_(owner), name_(std::move(name)), kind_(kind) {}
    std::u16string_view ComponentName() const override { return name_; }
    ComponentKind Kind() const override { return kind_; }
    void SetCaption(std::u16string_view text) override {
      owner_.sets.push_back({name_, std::u16string(text)});
    }

   private:
    FakeCaptionedWindow& owner_;
    std::u16string name_;
    ComponentKind kind_;
  };

  std::u16string name_;
  std::vector<std::unique_ptr<Component>> owned_;
  std::vector<CaptionedComponent*> components_;
};
