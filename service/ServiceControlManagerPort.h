#pragma once
// The Service Control Manager as the service framework uses it: the connection of a running
// service, and the registration and removal of a service.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/ServiceStatus.h"

// What CreateServiceW is given.
struct ServiceRegistration {
  std::u16string serviceName;
  std::u16string displayName;
  uint32_t desiredAccess = 0;
  uint32_t serviceType = 0;
  uint32_t startType = 0;
  uint32_t errorControl = 0;
  std::u16string binaryPathName;
  std::u16string loadOrderGroup;             // empty: none
  bool wantTag = false;                      // no tag asked for
  std::vector<std::u16string> dependencies;  // empty list
  std::u16string serviceStartName;           // empty: LocalSystem
  std::u16string password;
  bool operator==(const ServiceRegistration&) const = default;
};

// An open service handle; the destructor closes it (CloseServiceHandle).
class ServiceHandle {
 public:
  virtual ~ServiceHandle() = default;
  // DeleteService. Throws OSFailure.
  virtual void Delete() = 0;
};

// An open Service Control Manager handle; the destructor closes it.
class ServiceManagerHandle {
 public:
  virtual ~ServiceManagerHandle() = default;
  // CreateServiceW. Throws OSFailure.
  virtual std::unique_ptr<ServiceHandle> CreateService(const ServiceRegistration& registration) = 0;
  // OpenServiceW with DELETE, all that uninstalling uses. Throws OSFailure.
  virtual std::unique_ptr<ServiceHandle> OpenService(std::u16string_view serviceName) = 0;
};

using ServiceMainEntry = std::function<void(std::vector<std::u16string> arguments)>;
using ControlHandlerEntry = std::function<void(uint32_t code)>;

class ServiceControlManagerPort {
 public:
  virtual ~ServiceControlManagerPort() = default;

  // OpenSCManagerW on the local machine, default database, SC_MANAGER_CONNECT and
  // SC_MANAGER_CREATE_SERVICE. Only administrators hold the latter, so install and uninstall both
  // fail here with access denied for anyone else, as they did with full access. Throws OSFailure.
  virtual std::unique_ptr<ServiceManagerHandle> OpenSCManager() = 0;

  // StartServiceCtrlDispatcherW with one entry (name, main) and the empty entry. Returns when the
  // service has stopped: 0, or the error code of a failed call.
  virtual uint32_t StartServiceCtrlDispatcher(std::u16string_view serviceName,
                                              ServiceMainEntry serviceMain) = 0;

  // RegisterServiceCtrlHandlerW by service name; the handle it gives is kept for the status
  // reports. 0, or the error code.
  virtual uint32_t RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                              ControlHandlerEntry handler) = 0;

  // SetServiceStatus with the registered handle. 0, or the error code.
  virtual uint32_t SetServiceStatus(const ServiceStatusRecord& status) = 0;

  // The full path of the running program's file.
  virtual std::u16string ProgramPath() = 0;
};
