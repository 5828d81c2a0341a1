#include "service/NimbelloServiceForm.h"

#include "foundation/Captions.h"
#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/SettingsTable.h"
#include "service/ServiceThread.h"

void ApplyDefragMemoryRule(const CustomRegistry& settings) noexcept {
  guarded([&] {
    if (ReadSettingBool(settings, SettingId::LoadNimbello)) {
      return;
    }
    if (ReadSettingBool(settings, SettingId::DefragMemory)) {
      settings.WriteSettingBool(Constants::DefragMemory, false);
    }
  });
}

TNimbello::TNimbello(const ServicePorts& ports, const NimbelloServiceParts& parts,
                     TTimer::FailureSink onTimerFailure)
    : TService(std::u16string(Constants::ServiceName), ports),
      settings_(parts.settings),
      resources_(parts.resources),
      policy_state_(parts.policyState),
      policy_ports_(parts.policyPorts),
      folders_(parts.folders),
      event_sources_(parts.eventSources),
      MainTimer(
          parts.timers, MainTimerInterval, [this] { MainTimerTimer(); },
          std::move(onTimerFailure)) {
  OnStart = [this](TService& s, bool& done) { ServiceStart(s, done); };
  OnExecute = [this](TService& s) { ServiceExecute(s); };
  OnStop = [this](TService& s, bool& done) { ServiceStop(s, done); };
  OnPause = [this](TService& s, bool& done) { ServicePause(s, done); };
  OnContinue = [this](TService& s, bool& done) { ServiceContinue(s, done); };
  OnShutdown = [this](TService& s) { ServiceShutdown(s); };
  BeforeInstall = [this](TService& s) { ServiceBeforeInstall(s); };
  AfterInstall = [this](TService& s) { ServiceAfterInstall(s); };
  AfterUninstall = [this](TService& s) { ServiceAfterUninstall(s); };
  // Without a timer the module still installs and answers control requests; it just never ticks.
  guarded([&] { MainTimer.SetEnabled(true); });
}

ControlHandlerEntry TNimbello::GetServiceController() {
  return [this](uint32_t code) { guarded([&] { Controller(code); }); };
}

void TNimbello::MainTimerTimer() {
  ::MainTimerTimer(policy_state_, policy_ports_);
}

void TNimbello::ServiceStart(TService& /*sender*/, bool& started) {
  guarded([&] {
    policy_state_.started.store(true);
    started = true;
  });
}

void TNimbello::ServiceExecute(TService& /*sender*/) {
  guarded([&] {
    TServiceThread* thread = ServiceThread();
    if (thread == nullptr) {
      return;
    }
    // Control requests, and the timer's ticks once a continue has moved it here, are taken up
    // between the sleeps: a stop waits at most one sleep.
    while (!thread->Terminated()) {
      Queue().Sleep(ExecuteSleep);
      thread->ProcessRequests(false);
    }
  });
}

void TNimbello::StopTicks() {
  MainTimer.SetEnabled(false);
  // A tick under way on the main thread could go on starting workers after the state is
  // reported; it gets a bounded time to end first.
  MainTimer.WaitForTick(TickWait);
}

void TNimbello::ServiceStop(TService& /*sender*/, bool& stopped) {
  guarded([&] {
    StopTicks();
    stopped = true;
  });
}

void TNimbello::ServicePause(TService& /*sender*/, bool& paused) {
  guarded([&] {
    StopTicks();
    paused = true;
  });
}

void TNimbello::ServiceContinue(TService& /*sender*/, bool& continued) {
  // Without its timer the service would report running and never tick: the continue fails and the
  // service stays paused.
  continued = false;
  guarded([&] {
    MainTimer.SetEnabled(true);
    continued = true;
  });
}

void TNimbello::ServiceShutdown(TService& /*sender*/) {
  guarded([&] { StopTicks(); });
}

void TNimbello::ServiceBeforeInstall(TService& /*sender*/) {
  guarded([&] { DisplayName = GetCaption(settings_, resources_, Name(), u"DisplayName"); });
  // The service will start the release worker from this folder as SYSTEM: a folder that users can
  // change fails the install, with the reason, as every other install failure does. A folder
  // whose permissions cannot be read fails it too.
  const std::u16string folder = policy_ports_.launcher.ProgramFolder();
  if (JudgeProgramFolder(folders_, folder, ProgramPath()) != FolderRefusal::None) {
    std::u16string text = GetCaption(settings_, resources_, Name(), u"UnsafeFolder");
    if (text.empty()) {
      text = UnsafeFolderText;
    }
    std::u16string_view shown = folder;
    if (shown.size() > 3 && (shown.back() == u'\\' || shown.back() == u'/')) {
      shown.remove_suffix(1);  // "C:\Tools", not "C:\Tools\."
    }
    if (const size_t at = text.find(u"%s"); at != std::u16string::npos) {
      text.replace(at, 2, shown);
    }
    throw Failure(text);
  }
}

void TNimbello::ServiceAfterInstall(TService& /*sender*/) {
  guarded([&] {
    const std::u16string description = GetCaption(settings_, resources_, Name(), u"Description");
    settings_.WriteSettingString(RegistryRoot::LocalMachine, Constants::ServicesKey, u"Description",
                                 description);
  });
  // The event viewer finds the text of the service's entries in the program's message table.
  guarded([&] { event_sources_.RegisterSource(Name(), ProgramPath()); });
}

void TNimbello::ServiceAfterUninstall(TService& /*sender*/) {
  guarded([&] { event_sources_.RemoveSource(Name()); });
}
