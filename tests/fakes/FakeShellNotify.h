#pragma once
// Records every Shell_NotifyIconW call with a copy of the record; icons are numbered tokens whose
// copies and destructions are counted.
#include <cstdint>
#include <set>
#include <stdexcept>
#include <vector>

#include "tray/TrayIcon.h"

class FakeShellNotify : public ShellNotifyPort {
 public:
  struct Call {
    NotifyMessage message;
    NotifyIconRecord record;
  };
  std::vector<Call> calls;
  bool failDeletes = false;
  bool failAll = false;
  bool failCopies = false;
  // When set, the answers of the next calls in order; then the flags above decide.
  std::vector<bool> answers;
  std::set<uintptr_t> liveCopies;
  uintptr_t nextCopy = 0x1000;

  bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) override {
    calls.push_back({message, record});
    if (!answers.empty()) {
      const bool answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    }
    if (failAll) {
      return false;
    }
    return !(failDeletes && message == NotifyMessage::Delete);
  }
  IconHandle CopyIcon(IconHandle) override {
    if (failCopies) {
      throw std::runtime_error("CopyIcon failed");
    }
    liveCopies.insert(nextCopy);
    return reinterpret_cast<IconHandle>(nextCopy++);
  }
  void DestroyIcon(IconHandle icon) override {
    if (liveCopies.erase(reinterpret_cast<uintptr_t>(icon)) == 0) {
      throw std::logic_error("destroyed an icon that is not a live copy");
    }
  }

  std::vector<NotifyMessage> Messages() const {
    std::vector<NotifyMessage> out;
    for (const auto& c : calls) {
      out.push_back(c.message);
    }
    return out;
  }
};
