#pragma once
// The Service Control Manager: a running service's connection and status reports, and the
// registration and removal of services.
#include <windows.h>

#include <atomic>

#include "service/FailureText.h"
#include "service/ServiceControlManagerPort.h"

class Win32ServiceControlManager : public ServiceControlManagerPort {
 public:
  explicit Win32ServiceControlManager(SystemMessagePort& messages) : messages_(messages) {}

  std::unique_ptr<ServiceManagerHandle> OpenSCManager() override;
  uint32_t StartServiceCtrlDispatcher(std::u16string_view serviceName,
                                      ServiceMainEntry serviceMain) override;
  uint32_t RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                      ControlHandlerEntry handler) override;
  uint32_t SetServiceStatus(const ServiceStatusRecord& status) override;
  std::u16string ProgramPath() override;

 private:
  SystemMessagePort& messages_;
  // The status handle of RegisterServiceCtrlHandlerW; it is not closed.
  std::atomic<SERVICE_STATUS_HANDLE> status_handle_{nullptr};
};
