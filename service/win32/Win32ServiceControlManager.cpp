#include "service/win32/Win32ServiceControlManager.h"

#include <mutex>
#include <string>

#include "foundation/base/win32/ModuleFileName.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"

namespace {

// The service main routine and the control handler get no context from Windows, and a process
// hosts one dispatcher: their entries live here for the life of the process.
struct Entries {
  std::mutex lock;
  ServiceMainEntry serviceMain;
  ControlHandlerEntry handler;
};

Entries& ProcessEntries() {
  static Entries entries;
  return entries;
}

void WINAPI ServiceMainThunk(DWORD argc, LPWSTR* argv) {
  ServiceMainEntry main;
  {
    std::lock_guard lock(ProcessEntries().lock);
    main = ProcessEntries().serviceMain;
  }
  if (!main) {
    return;
  }
  try {
    std::vector<std::u16string> arguments;
    for (DWORD i = 0; i < argc && argv != nullptr; ++i) {
      arguments.push_back(FromWide(argv[i]));
    }
    main(std::move(arguments));
  } catch (...) {
    // Nothing may unwind into the Service Control Manager's thread.
  }
}

void WINAPI ControlHandlerThunk(DWORD code) {
  ControlHandlerEntry handler;
  {
    std::lock_guard lock(ProcessEntries().lock);
    handler = ProcessEntries().handler;
  }
  if (!handler) {
    return;
  }
  try {
    handler(code);
  } catch (...) {
  }
}

class Win32ServiceHandle : public ServiceHandle {
 public:
  Win32ServiceHandle(UniqueServiceHandle handle, SystemMessagePort& messages)
      : handle_(std::move(handle)), messages_(messages) {}
  void Delete() override {
    if (!DeleteService(handle_.get())) {
      throw MakeOSFailure(GetLastError(), messages_);
    }
  }

 private:
  UniqueServiceHandle handle_;
  SystemMessagePort& messages_;
};

// An empty text is given to Windows as no text at all.
const wchar_t* OrNull(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

class Win32ServiceManagerHandle : public ServiceManagerHandle {
 public:
  Win32ServiceManagerHandle(UniqueServiceHandle handle, SystemMessagePort& messages)
      : handle_(std::move(handle)), messages_(messages) {}

  std::unique_ptr<ServiceHandle> CreateService(const ServiceRegistration& r) override {
    const std::wstring name = Wide(r.serviceName);
    const std::wstring display = Wide(r.displayName);
    const std::wstring path = Wide(r.binaryPathName);
    const std::wstring group = Wide(r.loadOrderGroup);
    const std::wstring account = Wide(r.serviceStartName);
    const std::wstring password = Wide(r.password);
    // A list of NUL-terminated names ending in an empty one; no names gives just that end.
    std::wstring dependencies;
    for (const std::u16string& d : r.dependencies) {
      dependencies += Wide(d);
      dependencies.push_back(L'\0');
    }
    dependencies.push_back(L'\0');
    DWORD tag = 0;
    UniqueServiceHandle service(::CreateServiceW(
        handle_.get(), name.c_str(), display.c_str(), r.desiredAccess, r.serviceType, r.startType,
        r.errorControl, path.c_str(), OrNull(group), r.wantTag ? &tag : nullptr,
        dependencies.c_str(), OrNull(account), OrNull(password)));
    if (!service) {
      throw MakeOSFailure(GetLastError(), messages_);
    }
    return std::make_unique<Win32ServiceHandle>(std::move(service), messages_);
  }

  std::unique_ptr<ServiceHandle> OpenService(std::u16string_view serviceName) override {
    const std::wstring name = Wide(serviceName);
    UniqueServiceHandle service(::OpenServiceW(handle_.get(), name.c_str(), DELETE));
    if (!service) {
      throw MakeOSFailure(GetLastError(), messages_);
    }
    return std::make_unique<Win32ServiceHandle>(std::move(service), messages_);
  }

 private:
  UniqueServiceHandle handle_;
  SystemMessagePort& messages_;
};

}  // namespace

std::unique_ptr<ServiceManagerHandle> Win32ServiceControlManager::OpenSCManager() {
  UniqueServiceHandle manager(
      ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager) {
    throw MakeOSFailure(GetLastError(), messages_);
  }
  return std::make_unique<Win32ServiceManagerHandle>(std::move(manager), messages_);
}

uint32_t Win32ServiceControlManager::StartServiceCtrlDispatcher(std::u16string_view serviceName,
                                                                ServiceMainEntry serviceMain) {
  {
    std::lock_guard lock(ProcessEntries().lock);
    ProcessEntries().serviceMain = std::move(serviceMain);
  }
  std::wstring name = Wide(serviceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), &ServiceMainThunk}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) {
    return GetLastError();
  }
  return 0;
}

uint32_t Win32ServiceControlManager::RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                                                ControlHandlerEntry handler) {
  {
    std::lock_guard lock(ProcessEntries().lock);
    ProcessEntries().handler = std::move(handler);
  }
  const std::wstring name = Wide(serviceName);
  SERVICE_STATUS_HANDLE handle = ::RegisterServiceCtrlHandlerW(name.c_str(), &ControlHandlerThunk);
  if (handle == nullptr) {
    return GetLastError();
  }
  status_handle_.store(handle);
  return 0;
}

uint32_t Win32ServiceControlManager::SetServiceStatus(const ServiceStatusRecord& s) {
  SERVICE_STATUS status{};
  status.dwServiceType = s.serviceType;
  status.dwCurrentState = s.currentState;
  status.dwControlsAccepted = s.controlsAccepted;
  status.dwWin32ExitCode = s.win32ExitCode;
  status.dwServiceSpecificExitCode = s.serviceSpecificExitCode;
  status.dwCheckPoint = s.checkPoint;
  status.dwWaitHint = s.waitHint;
  if (!::SetServiceStatus(status_handle_.load(), &status)) {
    return GetLastError();
  }
  return 0;
}

std::u16string Win32ServiceControlManager::ProgramPath() {
  std::u16string path = ModuleFileName();
  if (path.empty()) {
    throw MakeOSFailure(GetLastError(), messages_);
  }
  return path;
}
