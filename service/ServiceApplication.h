#pragma once
// The service program as a whole: installs or removes its service, or connects to the Service
// Control Manager and runs it.
#include <atomic>
#include <cstdint>
#include <exception>

#include "service/EventLogPort.h"
#include "service/FailureText.h"
#include "service/MessageDialogPort.h"
#include "service/MessageQueuePort.h"
#include "service/Service.h"
#include "service/ServiceControlManagerPort.h"
#include "service/ServiceSwitches.h"

struct ServiceApplicationPorts {
  ServiceControlManagerPort& manager;
  MessageQueuePort& queue;
  EventLogPort& log;  // source: the program's file name
  SystemMessagePort& messages;
  MessageDialogPort& dialogs;
};

class TServiceApplication {
 public:
  explicit TServiceApplication(const ServiceApplicationPorts& ports) : ports_(ports) {}

  // The program's one service module.
  void CreateForm(TService& service) { service_ = &service; }

  // Installs, uninstalls or runs the service. The exit code: 0, or 1 after a failure that nothing
  // else handled.
  int Run(const ServiceSwitches& switches);

  // A failure that escaped the main thread's event handling (a timer tick): in service mode it is
  // logged under the program's name and the program carries on.
  void HandleException(std::exception_ptr failure);

 private:
  void RegisterServices(bool install, bool silent);
  void RunServices();

  ServiceApplicationPorts ports_;
  TService* service_ = nullptr;
  std::atomic<bool> service_mode_{false};
};
