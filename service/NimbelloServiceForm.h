#pragma once
// The service module of NimbelloService: the service "Nimbello", its timer MainTimer that runs the
// release policy once a second, and the handlers that switch the timer with the service's state
// and take the display name and description from the language file at install.
#include <cstdint>

#include "foundation/CustomRegistry.h"
#include "foundation/ResourcePort.h"
#include "service/EventSourcePort.h"
#include "service/ProgramFolderAccess.h"
#include "service/ReleasePolicy.h"
#include "service/Service.h"
#include "service/Timer.h"
#include "service/TimerPort.h"

// What the module works with besides the framework's ports.
struct NimbelloServiceParts {
  CustomRegistry& settings;
  ResourcePort& resources;
  ReleasePolicyState& policyState;
  ReleasePolicyPorts policyPorts;
  TimerPort& timers;
  FolderSecurityPort& folders;
  EventSourcePort& eventSources;
};

// At program start, in every mode and before anything else: with automatic start off, releases
// wait until the tray has run in this session, so a raised DefragMemory left from before is
// lowered.
void ApplyDefragMemoryRule(const CustomRegistry& settings) noexcept;

class TNimbello : public TService {
 public:
  static constexpr uint32_t MainTimerInterval = 1000;
  static constexpr uint32_t ExecuteSleep = 500;
  // How long stop, pause and shutdown wait for a tick under way: within the wait hint of their
  // pending report.
  static constexpr uint32_t TickWait = 4000;

  // The timer runs from here on; a failure escaping a tick goes to onTimerFailure.
  TNimbello(const ServicePorts& ports, const NimbelloServiceParts& parts,
            TTimer::FailureSink onTimerFailure);

  ControlHandlerEntry GetServiceController() override;

  // The started state that the release policy reads: false until ServiceStart.
  bool ServiceStarted() const { return policy_state_.started.load(); }

  void MainTimerTimer();
  void ServiceStart(TService& sender, bool& started);
  void ServiceExecute(TService& sender);
  void ServiceStop(TService& sender, bool& stopped);
  void ServicePause(TService& sender, bool& paused);
  void ServiceContinue(TService& sender, bool& continued);
  void ServiceShutdown(TService& sender);
  void ServiceBeforeInstall(TService& sender);
  void ServiceAfterInstall(TService& sender);
  void ServiceAfterUninstall(TService& sender);

 private:
  // Stop, pause and shutdown switch the ticks off.
  void StopTicks();

  CustomRegistry& settings_;
  ResourcePort& resources_;
  ReleasePolicyState& policy_state_;
  const ReleasePolicyPorts policy_ports_;
  FolderSecurityPort& folders_;
  EventSourcePort& event_sources_;

 public:
  TTimer MainTimer;
};
