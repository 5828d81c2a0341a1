#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include "tray/IconFactoryPort.h"

// Icons are numbered handles; every created picture is kept so tests can read its pixels.
class FakeIconFactory : public IconFactoryPort {
 public:
  SmallIconMetrics metrics{16, 16};
  std::map<int32_t, uint32_t> sysColors;  // indexes not set give 0, as GetSysColor does
  bool failCreate = false;
  bool failDestroy = false;  // DestroyIcon throws after recording the handle as destroyed
  // Runs inside CreateIcon before the icon exists (for example to call the renderer again).
  std::function<void()> onCreateIcon;

  std::vector<IconPicture> pictures;  // in creation order; handle n is pictures[n - 1]
  std::set<IconHandle> live;          // created and not yet destroyed
  std::vector<IconHandle> destroyed;  // in order
  int badDestroys = 0;                // unknown or already destroyed handles
  std::vector<int32_t> sysColorQueries;

  SmallIconMetrics GetSmallIconMetrics() override { return metrics; }

  uint32_t GetSysColor(int32_t index) override {
    sysColorQueries.push_back(index);
    const auto it = sysColors.find(index);
    return it == sysColors.end() ? 0 : it->second;
  }

  IconHandle CreateIcon(const IconPicture& picture) override {
    if (onCreateIcon) {
      onCreateIcon();
    }
    if (failCreate) {
      throw std::runtime_error("CreateIcon failed");
    }
    pictures.push_back(picture);
    const IconHandle icon = HandleOf(pictures.size());
    live.insert(icon);
    return icon;
  }

  void DestroyIcon(IconHandle icon) override {
    if (live.erase(icon) == 0) {
      ++badDestroys;
    }
    destroyed.push_back(icon);
    if (failDestroy) {
      throw std::runtime_error("DestroyIcon failed");
    }
  }

  const IconPicture& PictureOf(IconHandle icon) const {
    return pictures.at(reinterpret_cast<uintptr_t>(icon) - 1);
  }
  const IconPicture& LastPicture() const { return pictures.at(pictures.size() - 1); }

 private:
  static IconHandle HandleOf(size_t number) { return reinterpret_cast<IconHandle>(number); }
};
