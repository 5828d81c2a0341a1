#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/LauncherPort.h"

// Records every start instead of starting anything.
class FakeLauncher : public LauncherPort {
 public:
  struct Start {
    bool owned;
    std::u16string file;
    std::u16string parameters;
    bool operator==(const Start&) const = default;
  };
  std::u16string folder = u"C:\\Program Files\\Nimbello\\";
  std::vector<Start> starts;
  std::vector<Start> refused;  // starts tried while failStarts was set
  std::vector<std::u16string> helpTopics;
  bool failStarts = false;        // ShellOpen throws, as a failing platform call would
  bool failFolder = false;        // ProgramFolder throws, as a failing GetModuleFileNameW would
  std::function<void()> onStart;  // runs inside each start, before it is recorded

  std::u16string ProgramFolder() override {
    if (failFolder) {
      throw std::runtime_error("no module file name");
    }
    return folder;
  }
  void ShellOpen(bool owned, std::u16string_view file, std::u16string_view parameters) override {
    Start start{owned, std::u16string(file), std::u16string(parameters)};
    if (failStarts) {
      refused.push_back(std::move(start));
      throw std::runtime_error("start failed");
    }
    if (onStart) {
      onStart();
    }
    starts.push_back(std::move(start));
  }
  void HtmlHelpDisplayTopic(std::u16string_view location) override {
    helpTopics.emplace_back(location);
  }

  // The parameters of every start of the release worker, in order.
  std::vector<std::u16string> WorkerArguments() const {
    std::vector<std::u16string> out;
    for (const auto& s : starts) {
      if (s.file == folder + u"NimbelloDefrag.exe") {
        out.push_back(s.parameters);
      }
    }
    return out;
  }
};
