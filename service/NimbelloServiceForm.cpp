#include "service/NimbelloServiceForm.h"

#include "foundation/Captions.h"
#include "foundation/Constants.h"
#include "foundation/Guard.h"
#include "service/ServiceThread.h"

void ApplyDefragMemoryRule(const CustomRegistry& settings) noexcept {
  guarded([&] {
    if (settings.ReadSettingBool(Constants::LoadNimbello, true)) {
      return;
    }
    if (settings.ReadSettingBool(Constants::DefragMemory, true)) {
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

void TNimbello::ServiceStop(TService& /*sender*/, bool& stopped) {
  guarded([&] {
    MainTimer.SetEnabled(false);
    stopped = true;
  });
}

void TNimbello::ServicePause(TService& /*sender*/, bool& paused) {
  guarded([&] {
    MainTimer.SetEnabled(false);
    paused = true;
  });
}

void TNimbello::ServiceContinue(TService& /*sender*/, bool& continued) {
  guarded([&] {
    MainTimer.SetEnabled(true);
    continued = true;
  });
}

void TNimbello::ServiceShutdown(TService& /*sender*/) {
  guarded([&] { MainTimer.SetEnabled(false); });
}

void TNimbello::ServiceBeforeInstall(TService& /*sender*/) {
  guarded([&] { DisplayName = GetCaption(settings_, resources_, Name(), u"DisplayName"); });
}

void TNimbello::ServiceAfterInstall(TService& /*sender*/) {
  guarded([&] {
    const std::u16string description = GetCaption(settings_, resources_, Name(), u"Description");
    settings_.WriteSettingString(RegistryRoot::LocalMachine, Constants::ServicesKey, u"Description",
                                 description);
  });
}
