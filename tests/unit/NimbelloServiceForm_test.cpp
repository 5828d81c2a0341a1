// The service module TNimbello against fakes: the DefragMemory rule, the timer following the
// service's state, the started state, and the install handlers' texts from the language file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/Constants.h"
#include "service/NimbelloServiceForm.h"
#include "service/ServiceThread.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeLauncher.h"
#include "tests/fakes/FakeProcessorInfo.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResources.h"
#include "tests/fakes/ShippedFile.h"
#include "tests/fakes/FakeServicePorts.h"
#include "tests/fakes/FakeSystemInfo.h"

namespace {

constexpr uint64_t MB = 1024 * 1024;

TEST(DefragMemoryRule, AtProgramStart) {
  struct Case {
    std::optional<uint32_t> loadNimbello, defragMemory;
    std::optional<uint32_t> defragAfter;
    size_t writes;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, 0},  // both default true
      {1, 1, 1, 0},
      {1, 0, 0, 0},
      {0, 1, 0, 1},
      {0, std::nullopt, 0, 1},  // missing reads true
      {0, 0, 0, 0},             // already false: nothing written
      {7, 1, 1, 0},             // any value but 0 is true
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    if (c.loadNimbello)
      registry.PutDword(Constants::LoadNimbello, *c.loadNimbello);
    if (c.defragMemory)
      registry.PutDword(Constants::DefragMemory, *c.defragMemory);
    CustomRegistry settings(registry);
    ApplyDefragMemoryRule(settings);
    EXPECT_EQ(registry.Dword(Constants::DefragMemory), c.defragAfter);
    EXPECT_EQ(registry.writes, c.writes);
  }
}

TEST(DefragMemoryRule, StringValueCountsAsMissing) {
  FakeRegistry registry;
  registry.PutDword(Constants::LoadNimbello, 0);
  registry.PutString(Constants::DefragMemory, u"0");
  CustomRegistry settings(registry);
  ApplyDefragMemoryRule(settings);
  EXPECT_EQ(registry.Dword(Constants::DefragMemory), std::optional<uint32_t>(0));
}

struct ModuleRig {
  FakeSystemMessages messages;
  FakeServiceControlManager manager{messages};
  FakeMessageQueue queue;
  FakeEventLog log;
  FakeRegistry registry;
  CustomRegistry settings{registry};
  FakeResources resources;
  FakeSystemInfo system;
  FakeLauncher launcher;
  FakeClock clock;
  FakeProcessorInfo processors;
  FakeTimerPort timers;
  FakeFolderSecurity folders;
  FakeEventSources eventSources;
  ReleasePolicyState state;
  std::vector<std::u16string> timerFailures;
  TNimbello module{
      ServicePorts{manager, queue, log, messages},
      NimbelloServiceParts{settings, resources, state,
                           ReleasePolicyPorts{settings, system, launcher, clock, processors},
                           timers, folders, eventSources},
      [this](std::exception_ptr f) { timerFailures.push_back(FailureText(f)); }};

  ModuleRig() {
    resources.Put(u"ENGLISH", ReadShippedFile("English.lng"));
    resources.Put(u"FRENCH", ReadShippedFile("French.lng"));
    // Short of memory, an hour up, releases on every tick.
    system.SetMemory(1024 * MB, 0);
    clock.tickCount = 3600000;
    registry.PutDword(Constants::ProcessorLimit, 0);
    registry.PutDword(Constants::ExecutePeriod, 0);
  }
  size_t Releases() const { return launcher.WorkerArguments().size(); }
};

TEST(TNimbello, ModuleDefinition) {
  ModuleRig rig;
  EXPECT_EQ(rig.module.Name(), u"Nimbello");
  EXPECT_EQ(rig.module.DisplayName, u"Nimbello");
  EXPECT_EQ(rig.module.ServiceType, TServiceType::stWin32);
  EXPECT_FALSE(rig.module.Interactive);
  EXPECT_EQ(rig.module.StartType, TStartType::stAuto);
  EXPECT_EQ(rig.module.ErrorSeverity, TErrorSeverity::esNormal);
  EXPECT_TRUE(rig.module.ServiceStartName.empty());
  EXPECT_TRUE(rig.module.Dependencies.empty());
  EXPECT_TRUE(rig.module.AllowStop);
  EXPECT_TRUE(rig.module.AllowPause);
  EXPECT_EQ(rig.module.WaitHint, 5000u);
  EXPECT_FALSE(rig.module.ServiceStarted());
  // The timer runs from the module's creation, every 1000 ms.
  EXPECT_TRUE(rig.module.MainTimer.Enabled());
  ASSERT_EQ(rig.timers.LiveCount(), 1u);
  EXPECT_EQ(rig.timers.live.begin()->second.interval, 1000u);
  EXPECT_FALSE(rig.module.BeforeUninstall);
}

TEST(TNimbello, TicksBeforeTheStartOnlyStamp) {
  ModuleRig rig;
  rig.registry.PutDword(Constants::Updated, 1);
  rig.timers.FireAll();
  EXPECT_EQ(rig.registry.Dword(Constants::Updated), std::optional<uint32_t>(0));
  EXPECT_FALSE(rig.registry.String(Constants::UpdatedDate).empty());
  EXPECT_EQ(rig.Releases(), 0u);
  bool started = true;
  rig.module.ServiceStart(rig.module, started);
  EXPECT_TRUE(started);
  EXPECT_TRUE(rig.module.ServiceStarted());
  rig.timers.FireAll();
  EXPECT_EQ(rig.Releases(), 1u);
}

TEST(TNimbello, TimerFollowsPauseContinueStopAndShutdown) {
  ModuleRig rig;
  bool done = false;
  rig.module.ServiceStart(rig.module, done);
  const uint64_t mainThreadTimer = rig.timers.live.begin()->first;

  // Pause, on the service thread (thread 2): the main thread's timer no longer ticks.
  rig.timers.thread = 2;
  done = false;
  rig.module.ServicePause(rig.module, done);
  EXPECT_TRUE(done);
  EXPECT_FALSE(rig.module.MainTimer.Enabled());
  EXPECT_EQ(rig.timers.LiveCount(), 0u);
  rig.timers.Fire(mainThreadTimer);  // a tick message already on its way
  EXPECT_EQ(rig.Releases(), 0u);

  // Continue: the timer is set up anew on the service thread; the old one stays dead. Its ticks
  // are messages in the service thread's queue, run by that thread's request processing.
  rig.queue.CreateQueue();
  rig.timers.RouteTicks(2, rig.queue);
  done = false;
  rig.module.ServiceContinue(rig.module, done);
  EXPECT_TRUE(done);
  ASSERT_EQ(rig.timers.LiveCount(), 1u);
  EXPECT_EQ(rig.timers.live.begin()->second.thread, 2u);
  rig.timers.Fire(mainThreadTimer);
  EXPECT_EQ(rig.Releases(), 0u);
  rig.timers.FireAll();
  EXPECT_EQ(rig.Releases(), 0u) << "queued, not yet run";
  TServiceThread serviceThread(rig.module);
  serviceThread.ProcessRequests(false);
  EXPECT_EQ(rig.Releases(), 1u);
  // The started state and the last release time survive.
  EXPECT_TRUE(rig.module.ServiceStarted());
  EXPECT_EQ(rig.state.lastReleaseTime, 3600);

  done = false;
  rig.module.ServiceStop(rig.module, done);
  EXPECT_TRUE(done);
  EXPECT_EQ(rig.timers.LiveCount(), 0u);

  rig.module.ServiceContinue(rig.module, done);
  rig.module.ServiceShutdown(rig.module);
  EXPECT_EQ(rig.timers.LiveCount(), 0u);
  EXPECT_FALSE(rig.module.MainTimer.Enabled());
  EXPECT_TRUE(rig.timerFailures.empty());
}

TEST(TNimbello, ContinueWithoutItsTimerFails) {
  ModuleRig rig;
  rig.timers.failStart = true;
  bool done = true;
  rig.module.ServiceContinue(rig.module, done);
  EXPECT_FALSE(done);  // the framework reports the paused state again, not running
  EXPECT_FALSE(rig.module.MainTimer.Enabled());
}

TEST(TNimbello, StopAndPauseWaitForATickUnderWay) {
  for (const bool stop : {true, false}) {
    ModuleRig rig;
    bool done = false;
    rig.module.ServiceStart(rig.module, done);
    std::atomic<bool> entered{false};
    rig.launcher.onStart = [&] {
      entered.store(true);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    std::thread mainThread([&] { rig.timers.FireAll(); });
    while (!entered.load()) {
      std::this_thread::yield();
    }
    stop ? rig.module.ServiceStop(rig.module, done) : rig.module.ServicePause(rig.module, done);
    EXPECT_EQ(rig.launcher.starts.size(), 1u) << "the tick's start is over before " << stop;
    mainThread.join();
  }
}

TEST(TNimbello, InstallHandlersTakeTheTextsOfTheLanguage) {
  struct Case {
    std::optional<std::u16string> language;
    bool dropServiceEntries;
    std::u16string displayAfter;  // as registered
    std::u16string description;
  };
  const Case cases[] = {
      {std::nullopt, false, u"Nimbello Memory Service",
       u"Maintains memory performance by defragmenting used memory and allocating it back to the "
       u"computer system."},
      {u"FRENCH", false, u"Nimbello Service M\u00E9moire",
       u"Maintenant les performances en d\u00E9fragmentant la m\u00E9moire utilis\u00E9e et la "
       u"r\u00E9-allouer au syst\u00E8me."},
      {u"english", true, u"Nimbello", u""},
      {u"klingon", false, u"Nimbello", u""},  // no such language resource
  };
  for (const Case& c : cases) {
    ModuleRig rig;
    if (c.language)
      rig.registry.PutString(Constants::Language, *c.language);
    if (c.dropServiceEntries) {
      rig.resources.PutAnsi(u"english", u"NBTrayForm, ExitPopup, \"&Exit\"");
    }
    rig.module.ServiceBeforeInstall(rig.module);
    EXPECT_EQ(rig.module.EffectiveDisplayName(), c.displayAfter);
    rig.module.ServiceAfterInstall(rig.module);
    const FakeRegistry::Value* value =
        rig.registry.Find(RegistryRoot::LocalMachine,
                          u"SYSTEM\\CurrentControlSet\\Services\\Nimbello", u"Description");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, RegType::Sz);
    EXPECT_EQ(DecodeRegistryText(value->data.data(), value->data.size()), c.description);
  }
}

TEST(TNimbello, InstallRefusesAFolderThatUsersCanChange) {
  const std::pair<const char16_t*, const char16_t*> languages[] = {
      {u"english", u"Users who are not administrators can change the folder C:\\Tools. Install"},
      {u"french",
       u"Des utilisateurs qui ne sont pas administrateurs peuvent modifier le dossier "
       u"C:\\Tools. Installez"}};
  for (const auto& [language, text] : languages) {
    ModuleRig rig;
    rig.registry.PutString(Constants::Language, language);
    rig.launcher.folder = u"C:\\Tools\\";
    rig.module.ServiceBeforeInstall(rig.module);  // Program Files' list passes
    rig.folders.entries.push_back({AccessEntry::Kind::Allow, 0, 0x1301BF, u"S-1-5-11"});
    try {
      rig.module.ServiceBeforeInstall(rig.module);
      ADD_FAILURE() << "installed";
    } catch (const Failure& f) {
      EXPECT_EQ(f.Text().rfind(text, 0), 0u) << ToUtf8(f.Text());
    }
    EXPECT_EQ(rig.folders.asked.front(), u"C:\\Tools");
  }
}

TEST(TNimbello, EventSourceComesWithTheInstallAndGoesWithTheUninstall) {
  ModuleRig rig;
  rig.module.AfterInstall(rig.module);
  EXPECT_EQ(rig.eventSources.sources[u"Nimbello"], rig.manager.programPath);
  rig.module.AfterUninstall(rig.module);
  EXPECT_TRUE(rig.eventSources.sources.empty());
}

TEST(TNimbello, AfterInstallFailureIsSwallowed) {
  ModuleRig rig;
  const auto description = [&] {
    return rig.registry.Find(RegistryRoot::LocalMachine,
                             u"SYSTEM\\CurrentControlSet\\Services\\Nimbello", u"Description");
  };
  // A registry that throws: the write was tried, nothing was stored, nothing escapes.
  rig.registry.throwOnWrite = true;
  rig.module.ServiceAfterInstall(rig.module);
  ASSERT_FALSE(rig.registry.log.empty());
  EXPECT_TRUE(rig.registry.log.back().write);
  EXPECT_EQ(description(), nullptr);
  // The next call, with a working registry, writes it.
  rig.registry.throwOnWrite = false;
  rig.module.ServiceAfterInstall(rig.module);
  EXPECT_NE(description(), nullptr);
}

TEST(TNimbello, ExecuteLoopServesRequestsAndTimerTicksUntilStopped) {
  ModuleRig rig;
  rig.queue.CreateQueue();
  bool started = true;
  rig.module.ServiceStart(rig.module, started);
  rig.queue.Post(ServiceControlMessage, ServiceControl::Interrogate);
  rig.queue.Post(ServiceControlMessage, ServiceControl::Stop);
  TServiceThread thread(rig.module);
  // The module reaches its service thread through the framework while Main runs it.
  rig.manager.runServiceMain = false;
  std::thread main([&] { rig.module.Main({}); });
  main.join();
  EXPECT_EQ(rig.manager.Reports().back().currentState, 1u);
  EXPECT_EQ(rig.queue.sleeps.front(), 500u);
  EXPECT_FALSE(rig.module.MainTimer.Enabled());
}

TEST(TNimbello, ControllerQueuesTheCodeForTheServiceThread) {
  ModuleRig rig;
  const ControlHandlerEntry handler = rig.module.GetServiceController();
  handler(ServiceControl::Pause);  // no service thread yet: dropped, no failure
  EXPECT_EQ(rig.queue.dropped, 1);
  rig.queue.CreateQueue();
  handler(ServiceControl::Pause);
  const auto message = rig.queue.PeekMessage();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->message, 1025u);
  EXPECT_EQ(message->wParam, 2u);
}

}  // namespace
