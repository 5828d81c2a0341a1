#pragma once
// The main window's dialog as plain state, and the other parts' state it reports.
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mainwindow/NimbelloMainForm.h"

class FakeMainFormHost : public MainFormHost {
 public:
  std::u16string title;
  std::map<int, std::u16string> texts;
  std::map<int, bool> checked;
  std::map<int, bool> enabled;
  std::map<int, std::vector<std::u16string>> choices;
  std::map<int, std::optional<size_t>> selection;
  std::vector<std::pair<MessageKind, std::u16string>> messages;
  std::optional<int> focus;
  std::optional<uint32_t> pickedColor;  // nothing: the user cancels the colour dialog
  bool closed = false;
  ServiceState service = ServiceState::Running;
  bool applet = true;
  uint64_t now = 0;
  bool windows64 = false;
  std::map<std::u16string, std::vector<std::byte>> files;  // by path

  void SetTitle(std::u16string_view text) override { title = text; }
  void SetText(int control, std::u16string_view text) override { texts[control] = text; }
  std::u16string Text(int control) override { return texts[control]; }
  void SetChecked(int control, bool on) override { checked[control] = on; }
  bool Checked(int control) override { return checked[control]; }
  void SetEnabled(int control, bool on) override { enabled[control] = on; }
  void SetChoices(int control, std::span<const std::u16string> items) override {
    choices[control].assign(items.begin(), items.end());
  }
  void Select(int control, std::optional<size_t> position) override {
    selection[control] = position;
  }
  std::optional<size_t> Selection(int control) override { return selection[control]; }
  void Repaint(int) override {}
  void FocusAndSelect(int control) override { focus = control; }
  void ShowMessage(std::u16string_view text, MessageKind kind) override {
    messages.emplace_back(kind, text);
  }
  std::optional<uint32_t> PickColor(uint32_t) override { return pickedColor; }
  void Close() override { closed = true; }
  ServiceState QueryServiceState() override { return service; }
  bool IsAppletRunning() override { return applet; }
  uint64_t CurrentFileTime() override { return now; }
  std::u16string LocalDateTimeText(uint64_t) override { return u"a time"; }
  bool IsWindows64Bit() override { return windows64; }
  std::vector<std::byte> ReadFileHead(std::u16string_view path, size_t bytes) override {
    std::vector<std::byte> head = files[std::u16string(path)];
    if (head.size() > bytes) {
      head.resize(bytes);
    }
    return head;
  }
};
