// Soak runs under Wine: the real tray window driven through many monitor ticks as fast as it
// takes them, and the service's tick with a release on every tick, each with handles, GDI and USER
// objects and private bytes compared before and after. A resident program must not grow.
//   NIMBELLO_SOAK_TICKS     ticks of each run (default 10000; the benchmark command uses 100000)
//   NIMBELLO_SOAK_LAUNCHES  ticks whose release starts a real worker process (default 50)
// Lines "soak: <figure> = <value>" are the figures the benchmark command puts in its table.
#include <windows.h>
// Needs the types of windows.h.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "foundation/Constants.h"
#include "foundation/CustomRegistry.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/win32/Win32Clock.h"
#include "foundation/win32/Win32Launcher.h"
#include "foundation/win32/Win32ProcessorInfo.h"
#include "foundation/win32/Win32Registry.h"
#include "foundation/win32/Win32Resources.h"
#include "foundation/win32/Win32SystemInfo.h"
#include "service/ReleasePolicy.h"
#include "tray/CustomTrayIconImage.h"
#include "tray/NimbelloTrayForm.h"
#include "tray/TrayMonitor.h"
#include "tray/win32/MessageLoop.h"
#include "tray/win32/Win32Desktop.h"
#include "tray/win32/Win32IconFactory.h"
#include "tray/win32/Win32NotifyIcon.h"
#include "tray/win32/Win32TrayWindow.h"
#include "win32/support/ProcessCounters.h"
#include "win32/support/RealPorts.h"
#include "win32/support/WineTestSupport.h"

namespace {

using wine_test::ProcessCounters;

// Growth allowed over a whole run, whatever its length: a leak of one object per tick exceeds
// it many times over. Wine's own caches (fonts, shell notification records) may add a little.
constexpr DWORD HandleSlack = 8;
constexpr DWORD GdiSlack = 4;
constexpr DWORD UserSlack = 4;
constexpr uint64_t PrivateBytesSlack = 1024 * 1024;

long EnvNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') {
    return fallback;
  }
  const long value = std::strtol(text, nullptr, 10);
  return value > 0 ? value : fallback;
}

void Figure(const char* what, const std::string& value) {
  std::printf("soak: %s = %s\n", what, value.c_str());
  std::fflush(stdout);
}

std::string Number(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

void ExpectFlat(const char* run, const ProcessCounters& before, const ProcessCounters& after) {
  const std::string prefix = std::string(run) + ": ";
  Figure((prefix + "handles before/after").c_str(),
         std::to_string(before.handles) + " -> " + std::to_string(after.handles));
  Figure((prefix + "GDI objects before/after").c_str(),
         std::to_string(before.gdiObjects) + " -> " + std::to_string(after.gdiObjects));
  Figure((prefix + "USER objects before/after").c_str(),
         std::to_string(before.userObjects) + " -> " + std::to_string(after.userObjects));
  Figure((prefix + "private bytes before/after").c_str(),
         Number(before.privateBytes / 1024.0, "%.0f KB") + " -> " +
             Number(after.privateBytes / 1024.0, "%.0f KB"));
  EXPECT_LE(after.handles, before.handles + HandleSlack) << run;
  EXPECT_LE(after.gdiObjects, before.gdiObjects + GdiSlack) << run;
  EXPECT_LE(after.userObjects, before.userObjects + UserSlack) << run;
  EXPECT_LE(after.privateBytes, before.privateBytes + PrivateBytesSlack) << run;
}

// No update check is due in these runs (UpdatedDate is missing, which reads as now); should one
// come, it is counted and answered "no usable answer" without the network.
class CountingUpdateCheck : public UpdateCheckPort {
 public:
  int32_t CheckForUpdate() override {
    ++checks;
    return -1;
  }
  int checks = 0;
};

// The applet as its program wires it, on the settings of the run's own key.
struct TrayApplet {
  // Settings in a key of the run's own: the soak neither sees nor changes those of other tests.
  wine_test::MovedSettingsRegistry registry{L"NimbelloSoak"};
  CustomRegistry settings{registry};
  Win32SystemInfo system;
  Win32Launcher launcher;
  Win32Resources resources;
  Win32Desktop desktop;
  Win32Clock clock;
  CountingUpdateCheck updates;
  Win32IconFactory iconFactory;
  CustomTrayIconImage renderer{iconFactory};
  Win32NotifyIcon notify{GetModuleHandleW(nullptr)};
  Win32TrayWindow window{GetModuleHandleW(nullptr)};
  std::unique_ptr<TNBTrayForm> form =
      std::make_unique<TNBTrayForm>(window, TrayFormPorts{settings, resources, system, launcher},
                                    notify, Win32NotifyIcon::RecordSize(5), u"Nimbellotray");

  TrayApplet() {
    window.SetForm(form.get());
    notify.SetTarget(&form->Icon());
    form->AttachMonitor(TrayMonitorParts{desktop, clock, updates, renderer});
    form->FormCreate();
  }
  ~TrayApplet() {
    form.reset();  // takes the icon out of the notification area
    window.SetForm(nullptr);
    notify.SetTarget(nullptr);
  }

  // One MainTimer tick through the window procedure, as the timer delivers it.
  void Tick() { SendMessageW(window.Handle(), WM_TIMER, 1, 0); }
};

TEST(Soak, TrayWindowMonitorTicks) {
  const long ticks = EnvNumber("NIMBELLO_SOAK_TICKS", 10000);
  TrayApplet applet;
  // The first ticks show the icon (one waits 1000 ms for the taskbar) and fill Wine's caches.
  for (int i = 0; i < 200; ++i) {
    applet.Tick();
    ProcessPendingMessages();
  }
  ASSERT_TRUE(applet.form->Icon().IsShown()) << "the icon never appeared";
  const ProcessCounters before = wine_test::CountProcessResources();
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < ticks; ++i) {
    applet.Tick();
    if (i % 64 == 0) {
      ProcessPendingMessages();  // what the message loop would do between ticks
    }
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  ProcessPendingMessages();
  const ProcessCounters after = wine_test::CountProcessResources();

  // The same tick with the icon hidden: the picture is still drawn and set, but the shell is not
  // told. The difference is what the notification area costs.
  applet.registry.PutDword(Constants::LoadTrayIcon, 0);
  const long hiddenTicks = ticks < 1000 ? ticks : 1000;
  applet.Tick();
  const auto hiddenStart = std::chrono::steady_clock::now();
  for (long i = 0; i < hiddenTicks; ++i) {
    applet.Tick();
  }
  const double hiddenUs =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - hiddenStart)
          .count();
  ProcessPendingMessages();

  Figure("tray: ticks", std::to_string(ticks));
  Figure("tray: whole tick (real window, icon, GDI, registry)", Number(us / ticks, "%.1f us"));
  Figure("tray: whole tick with the icon hidden", Number(hiddenUs / hiddenTicks, "%.1f us"));
  Figure("tray: counting", before.counted ? "handle-index scans" : "reported by the system");
  ExpectFlat("tray", before, after);
  EXPECT_EQ(applet.updates.checks, 0);
  EXPECT_EQ(applet.form->MonitorState().updateTickCounter,
            TrayMonitor::FirstUpdateTick + 200 + ticks + 1 + hiddenTicks);
}

// A worker that ends at once: the release request is taken and nothing is started.
class StandInLauncher : public LauncherPort {
 public:
  std::u16string ProgramFolder() override { return u"C:\\Nimbello\\"; }
  void ShellOpen(bool, std::u16string_view, std::u16string_view) override { ++starts; }
  void HtmlHelpDisplayTopic(std::u16string_view) override {}
  long starts = 0;
};

using wine_test::FolderLauncher;

struct ServiceTicks {
  // Settings in a key of the run's own: the soak neither sees nor changes those of other tests.
  wine_test::MovedSettingsRegistry registry{L"NimbelloSoak"};
  CustomRegistry settings{registry};
  Win32SystemInfo system;
  Win32Clock clock;
  Win32ProcessorInfo processors;
  ReleasePolicyState state;

  ServiceTicks() {
    state.started = true;
    // A release on every tick: any memory use is low memory, every rule allows, no period.
    registry.PutDword(Constants::MemoryMaintain, 100);
    registry.PutDword(Constants::MemoryFree, 1);
    registry.PutDword(Constants::ProcessorTrigger, 100);
    registry.PutDword(Constants::BatteryCheck, 0);
    registry.PutDword(Constants::ExecutePeriod, 0);
  }
  void Tick(LauncherPort& launcher) {
    MainTimerTimer(state, ReleasePolicyPorts{settings, system, launcher, clock, processors});
  }
};

TEST(Soak, ServiceTicksWithAReleaseOnEveryTick) {
  const long ticks = EnvNumber("NIMBELLO_SOAK_TICKS", 10000);
  // The service releases nothing before five rounded minutes of uptime.
  ASSERT_TRUE(wine_test::WaitForUptime(std::chrono::seconds(271)));
  ServiceTicks service;
  StandInLauncher launcher;
  for (int i = 0; i < 100; ++i) {
    service.Tick(launcher);
  }
  ASSERT_EQ(launcher.starts, 100) << "the policy did not release on every tick";
  const ProcessCounters before = wine_test::CountProcessResources();
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < ticks; ++i) {
    service.Tick(launcher);
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  const ProcessCounters after = wine_test::CountProcessResources();

  Figure("service: ticks", std::to_string(ticks));
  Figure("service: whole tick with a release (real registry, memory, processor, clock)",
         Number(us / ticks, "%.1f us"));
  EXPECT_EQ(launcher.starts, 100 + ticks);
  ExpectFlat("service", before, after);
}

TEST(Soak, ServiceTicksStartingARealWorker) {
  // Each real start costs about 120 ms under Wine, so this run is short; it shows that starting
  // the worker keeps no handle of it.
  const long launches = EnvNumber("NIMBELLO_SOAK_LAUNCHES", 50);
  ASSERT_TRUE(wine_test::WaitForUptime(std::chrono::seconds(271)));
  wine_test::TempFolder folder;
  const std::wstring log = folder.path() + L"worker.log";
  ASSERT_TRUE(CopyFileW((wine_test::ProgramFolder() + L"StandInWorker.exe").c_str(),
                        (folder.path() + L"NimbelloDefrag.exe").c_str(), FALSE));
  SetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", log.c_str());
  ServiceTicks service;
  FolderLauncher launcher(folder.path());
  for (int i = 0; i < 5; ++i) {
    service.Tick(launcher);
  }
  ASSERT_EQ(wine_test::WaitForLines(log, 5, std::chrono::seconds(60)).size(), 5u);
  const ProcessCounters before = wine_test::CountProcessResources();
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < launches; ++i) {
    service.Tick(launcher);
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  const size_t lines =
      wine_test::WaitForLines(log, 5 + launches, std::chrono::seconds(30 + launches)).size();
  const ProcessCounters after = wine_test::CountProcessResources();
  SetEnvironmentVariableW(L"NIMBELLO_WORKER_LOG", nullptr);

  Figure("service: ticks starting the stand-in worker", std::to_string(launches));
  Figure("service: whole tick with a real worker start", Number(us / launches / 1000.0, "%.1f ms"));
  EXPECT_EQ(lines, static_cast<size_t>(5 + launches));
  ExpectFlat("service with worker starts", before, after);
}

}  // namespace
