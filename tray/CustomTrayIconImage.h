#pragma once
// The tray icon's picture: the usage graph at the small-icon size, made into an icon. One
// renderer lives as long as the program; its graph carries over from picture to picture.
#include <array>
#include <cstdint>
#include <string_view>

#include "foundation/UsageGraph.h"
#include "tray/IconFactoryPort.h"
#include "tray/IconHandle.h"

class CustomTrayIconImage {
 public:
  static constexpr int32_t NoBar = UsageGraph::NoBar;

  explicit CustomTrayIconImage(IconFactoryPort& factory) : factory_(factory) {}
  CustomTrayIconImage(const CustomTrayIconImage&) = delete;
  CustomTrayIconImage& operator=(const CustomTrayIconImage&) = delete;

  // A new icon (also kept as the last icon until ReleaseUsageIcon), or nullptr when a call is
  // already under way or anything fails. A failed call keeps the grid phase; the history keeps
  // what the call already did to it.
  IconHandle RenderUsageIcon(std::u16string_view background, std::u16string_view grid,
                             std::u16string_view bar, int32_t percent);
  // Destroys the last icon and forgets it; never fails.
  void ReleaseUsageIcon();

  int32_t GridPhase() const { return graph_.GridPhase(); }
  const std::array<int32_t, UsageGraph::HistorySize>& UsageHistory() const {
    return graph_.UsageHistory();
  }

 private:
  IconHandle Draw(std::u16string_view background, std::u16string_view grid, std::u16string_view bar,
                  int32_t percent);

  IconFactoryPort& factory_;
  UsageGraph graph_;
  bool rendering_ = false;
  // The renderer owns its last icon; one that the caller never released would otherwise leak.
  OwnedIcon<IconFactoryPort> lastIcon_{factory_};
};
