#pragma once
// A service module: describes one service, carries its state and reports it to the Service Control
// Manager. It knows nothing of what the service does; that lives in its event handlers.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/EventLogPort.h"
#include "service/FailureText.h"
#include "service/MessageQueuePort.h"
#include "service/ServiceControlManagerPort.h"
#include "service/ServiceStatus.h"

class TServiceThread;

// The platform operations a service module uses.
struct ServicePorts {
  ServiceControlManagerPort& manager;
  MessageQueuePort& queue;
  EventLogPort& log;  // source: the service name
  SystemMessagePort& messages;
};

class TService {
 public:
  using TServiceEvent = std::function<void(TService& sender)>;
  using TContinueEvent = std::function<void(TService& sender, bool& done)>;

  TService(std::u16string name, const ServicePorts& ports);
  virtual ~TService();
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;

  // The control handler entry point that hands each control code to this module.
  virtual ControlHandlerEntry GetServiceController() = 0;

  // Properties of the service's registration and status reports.
  const std::u16string& Name() const { return name_; }
  std::u16string DisplayName;  // empty: the service name stands for it
  TServiceType ServiceType = TServiceType::stWin32;
  bool Interactive = false;
  TStartType StartType = TStartType::stAuto;
  TErrorSeverity ErrorSeverity = TErrorSeverity::esNormal;
  std::u16string ServiceStartName;  // empty: LocalSystem
  std::u16string Password;
  std::vector<std::u16string> Dependencies;
  std::u16string LoadGroup;
  uint32_t TagID = 0;
  bool AllowStop = true;
  bool AllowPause = true;
  uint32_t WaitHint = 5000;
  uint32_t ErrCode = 0;
  uint32_t Win32ErrCode = 0;

  // Events; an unassigned one leaves the framework's default.
  TServiceEvent BeforeInstall;
  TServiceEvent AfterInstall;
  TServiceEvent BeforeUninstall;
  TServiceEvent AfterUninstall;
  TContinueEvent OnStart;
  TServiceEvent OnExecute;
  TContinueEvent OnStop;
  TContinueEvent OnPause;
  TContinueEvent OnContinue;
  TServiceEvent OnShutdown;

  // The display name as registered: the service name when DisplayName is empty.
  std::u16string EffectiveDisplayName() const;
  ServiceRegistration Registration(std::u16string_view binaryPathName) const;

  TCurrentStatus Status() const { return status_.load(); }
  // Sets the status and reports it.
  void SetStatus(TCurrentStatus status);
  // Reports the current status again.
  void ReportStatus();
  uint32_t ControlsAccepted() const;

  // The service main routine, on the thread the Service Control Manager gives it.
  void Main(std::vector<std::u16string> arguments);
  // The control handler's work, on the dispatcher thread: queue the code for the service thread.
  void Controller(uint32_t code);

  // The service thread while it runs; nullptr before and after.
  TServiceThread* ServiceThread() const { return service_thread_.load(); }
  const std::vector<std::u16string>& Params() const { return params_; }

  void LogMessage(std::u16string_view text);
  // The system's message for an error code, as the log shows it.
  std::u16string SystemMessageText(uint32_t code);

  MessageQueuePort& Queue() { return ports_.queue; }
  // The full path of the running program's file.
  std::u16string ProgramPath() { return ports_.manager.ProgramPath(); }

 private:
  const std::u16string name_;
  ServicePorts ports_;
  std::atomic<TCurrentStatus> status_{TCurrentStatus::csStopped};
  std::mutex report_;  // status reports come from the service main and the service thread
  std::optional<TCurrentStatus> last_reported_;
  uint32_t check_point_ = 0;
  std::atomic<TServiceThread*> service_thread_{nullptr};
  std::vector<std::u16string> params_;
};
