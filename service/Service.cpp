#include "service/Service.h"

#include <thread>

#include "foundation/base/Guard.h"
#include "service/ServiceThread.h"

namespace {

uint32_t ServiceTypeCode(TServiceType type, bool interactive) {
  switch (type) {
    case TServiceType::stDevice:
      return ServiceCodes::KernelDriver;
    case TServiceType::stFileSystem:
      return ServiceCodes::FileSystemDriver;
    case TServiceType::stWin32:
      break;
  }
  return ServiceCodes::Win32OwnProcess | (interactive ? ServiceCodes::InteractiveProcess : 0u);
}

uint32_t StartTypeCode(TStartType type) {
  switch (type) {
    case TStartType::stBoot:
      return 0;
    case TStartType::stSystem:
      return 1;
    case TStartType::stAuto:
      return 2;
    case TStartType::stManual:
      return 3;
    case TStartType::stDisabled:
      return 4;
  }
  return 2;
}

uint32_t ErrorControlCode(TErrorSeverity severity) {
  switch (severity) {
    case TErrorSeverity::esIgnore:
      return 0;
    case TErrorSeverity::esNormal:
      return 1;
    case TErrorSeverity::esSevere:
      return 2;
    case TErrorSeverity::esCritical:
      return 3;
  }
  return 1;
}

}  // namespace

TService::TService(std::u16string name, const ServicePorts& ports)
    : DisplayName(name), name_(std::move(name)), ports_(ports) {}

TService::~TService() = default;

std::u16string TService::EffectiveDisplayName() const {
  return DisplayName.empty() ? name_ : DisplayName;
}

ServiceRegistration TService::Registration(std::u16string_view binaryPathName) const {
  ServiceRegistration r;
  r.serviceName = name_;
  r.displayName = EffectiveDisplayName();
  r.desiredAccess = ServiceCodes::ServiceDeleteAccess;
  r.serviceType = ServiceTypeCode(ServiceType, Interactive);
  r.startType = StartTypeCode(StartType);
  r.errorControl = ErrorControlCode(ErrorSeverity);
  r.binaryPathName = binaryPathName;
  r.loadOrderGroup = LoadGroup;
  r.wantTag = TagID != 0;
  r.dependencies = Dependencies;
  r.serviceStartName = ServiceStartName;
  r.password = Password;
  return r;
}

uint32_t TService::ControlsAccepted() const {
  if (Status() == TCurrentStatus::csStartPending) {
    return 0;
  }
  uint32_t accepted = ServiceAccept::Shutdown;
  if (AllowStop) {
    accepted |= ServiceAccept::Stop;
  }
  if (AllowPause) {
    accepted |= ServiceAccept::PauseContinue;
  }
  return accepted;
}

void TService::SetStatus(TCurrentStatus status) {
  status_.store(status);
  ReportStatus();
}

void TService::ReportStatus() {
  uint32_t error = 0;
  {
    std::lock_guard lock(report_);
    const TCurrentStatus status = Status();
    ServiceStatusRecord record;
    record.serviceType = ServiceTypeCode(ServiceType, Interactive);
    record.currentState = static_cast<uint32_t>(status);
    record.controlsAccepted = ControlsAccepted();
    record.win32ExitCode = ErrCode != 0 ? ServiceCodes::ServiceSpecificError : Win32ErrCode;
    record.serviceSpecificExitCode = ErrCode;
    // The check point tells the manager that a long pending phase still makes progress.
    check_point_ = (IsPending(status) && last_reported_ == status) ? check_point_ + 1 : 0;
    record.checkPoint = check_point_;
    record.waitHint = WaitHint;
    last_reported_ = status;
    error = ports_.manager.SetServiceStatus(record);
  }
  if (error != 0) {
    LogMessage(SystemMessageText(error));
  }
}

void TService::Main(std::vector<std::u16string> arguments) {
  params_ = std::move(arguments);
  const uint32_t error = ports_.manager.RegisterServiceCtrlHandler(name_, GetServiceController());
  if (error != 0) {
    LogMessage(SystemMessageText(error));
    return;
  }
  SetStatus(TCurrentStatus::csStartPending);
  try {
    TServiceThread thread(*this);
    service_thread_.store(&thread);
    try {
      std::thread running([&thread] { thread.Execute(); });
      running.join();
    } catch (...) {
      service_thread_.store(nullptr);
      throw;
    }
    service_thread_.store(nullptr);
  } catch (...) {
    LogMessage(ServiceFailedText(u"execute", FailureText(std::current_exception())));
  }
  SetStatus(TCurrentStatus::csStopped);
}

void TService::Controller(uint32_t code) {
  // A pause leaves the service thread waiting for its queue, so the post is what resumes it. A code
  // that finds no service thread yet is dropped.
  guarded([&] { ports_.queue.PostThreadMessage(ServiceControlMessage, code); });
}

void TService::LogMessage(std::u16string_view text) {
  guarded([&] { ports_.log.LogError(text); });
}

std::u16string TService::SystemMessageText(uint32_t code) {
  return guarded_or(std::u16string(),
                    [&] { return TrimSystemMessage(ports_.messages.SystemMessage(code)); });
}
