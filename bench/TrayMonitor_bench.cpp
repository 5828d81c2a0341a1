// Cost of one monitor tick in the portable core: settings reads, full-screen test, icon presence,
// the update schedule, colours, usage and the 16 x 16 graph, over ports that do next to nothing.
#include <cstdio>

#include "foundation/Constants.h"
#include "support/AllocationCounter.h"
#include "support/StaticRegistry.h"
#include "tests/fakes/FakeClock.h"
#include "tray/TrayMonitor.h"

namespace {

class StillDesktop final : public DesktopPort {
 public:
  WindowRect front{100, 100, 500, 400};
  std::optional<FrontWindow> ForegroundWindow() override { return FrontWindow{front}; }
  ScreenSize PrimaryScreenSize() override { return {1024, 768}; }
  bool TopLevelWindowExists(std::u16string_view) override { return true; }
};

class ShownIcon final : public NotificationIconPort {
 public:
  IconHandle image = nullptr;
  bool IsShown() const override { return true; }
  void Show() override {}
  void Hide() override {}
  void SetImage(IconHandle icon) override { image = icon; }
  void SetBalloonTitle(std::u16string_view) override {}
  void SetBalloonText(std::u16string_view) override {}
  void ShowBalloon() override {}
};

class NoUpdate final : public UpdateCheckPort {
 public:
  int checks = 0;
  int32_t CheckForUpdate() override { return ++checks, 0; }
};

// Icons are numbers; pictures are dropped at once.
class CountingIconFactory final : public IconFactoryPort {
 public:
  uintptr_t made = 0;
  SmallIconMetrics GetSmallIconMetrics() override { return {16, 16}; }
  uint32_t GetSysColor(int32_t) override { return 0; }
  IconHandle CreateIcon(const IconPicture&) override {
    return reinterpret_cast<IconHandle>(++made);
  }
  void DestroyIcon(IconHandle) override {}
};

class StillMemory final : public SystemInfoPort {
 public:
  std::optional<MemoryStatus> QueryMemoryStatus() override {
    return MemoryStatus{4ull << 30, 3ull << 29};
  }
  std::optional<VersionRecord> QueryVersion(uint32_t) override { return VersionRecord{6, 1, 1}; }
  std::optional<uint8_t> QueryACLineStatus() override { return 1; }
};

class NoResources final : public ResourcePort {
 public:
  std::optional<std::vector<std::byte>> LoadRawData(std::u16string_view) override { return {}; }
  std::u16string DecodeAnsi(std::span<const std::byte>) override { return {}; }
};

}  // namespace

int main() {
  bench::StaticRegistry registry;
  CustomRegistry settings(registry);
  StillMemory system;
  NoResources resources;
  StillDesktop desktop;
  ShownIcon icon;
  FakeClock clock;
  NoUpdate updates;
  CountingIconFactory factory;
  CustomTrayIconImage renderer(factory);
  TrayMonitorPorts ports{settings, system, resources, desktop, icon, clock, updates, renderer};
  TrayMonitorState state;

  // Written by the service in the user's locale 10 days ago: young, so no check ever.
  registry.PutString(Constants::UpdatedDate, u"4/26/2024 2:30:15 PM");

  std::printf("tray monitor tick, core only (fake ports, 16 x 16 icon)\n");
  bench::Measure("tick, counter below the limit (ample path)", 200000, [&] {
    state.updateTickCounter = TrayMonitor::FirstUpdateTick;
    MainTimerTimer(ports, state);
  });
  std::printf("policy key opens per tick without a policy key: %.2f\n",
              static_cast<double>(registry.keyOpens) / (200000 + 200000 / 10 + 1));
  bench::Measure("tick, counter past the limit, stamp read", 200000, [&] {
    state.updateTickCounter = TrayMonitor::UpdateTickLimit;
    MainTimerTimer(ports, state);
  });
  {
    // A policy key fixing the icon's presence and colour.
    bench::StaticRegistry policy;
    policy.PutDword(Constants::LoadTrayIcon, 1);
    policy.PutString(Constants::BarColor, u"clLime");
    registry.policy = &policy;
    bench::Measure("tick, counter below the limit, policy key with 2 values", 200000, [&] {
      state.updateTickCounter = TrayMonitor::FirstUpdateTick;
      MainTimerTimer(ports, state);
    });
    registry.policy = nullptr;
  }
  registry.Remove(Constants::UpdatedDate);
  bench::Measure("tick, stamp missing (default text made)", 200000, [&] {
    state.updateTickCounter = TrayMonitor::FirstUpdateTick;
    MainTimerTimer(ports, state);
  });
  desktop.front = WindowRect{0, 0, 1024, 768};
  bench::Measure("tick, full-screen window in front", 200000, [&] {
    state.updateTickCounter = TrayMonitor::FirstUpdateTick;
    MainTimerTimer(ports, state);
  });
  std::printf("(%d update checks, %zu sleeps: both 0 on these paths)\n", updates.checks,
              clock.sleeps.size());
  return updates.checks == 0 && clock.sleeps.empty() && icon.image != nullptr ? 0 : 1;
}
