#include "service/ServiceApplication.h"

#include <thread>

#include "foundation/base/Guard.h"
#include "service/ServiceInstaller.h"

int TServiceApplication::Run(const ServiceSwitches& switches) {
  try {
    switch (switches.mode) {
      case ServiceProgramMode::Install:
        RegisterServices(true, switches.silent);
        break;
      case ServiceProgramMode::Uninstall:
        RegisterServices(false, switches.silent);
        break;
      case ServiceProgramMode::Service:
        RunServices();
        break;
    }
    return 0;
  } catch (...) {
    // Nothing handled this failure: the general error box, or in service mode (which shows
    // nothing) the event log.
    const std::u16string text = FailureText(std::current_exception());
    if (service_mode_.load()) {
      guarded([&] { ports_.log.LogError(text); });
    } else {
      guarded([&] { ports_.dialogs.ShowMessage(DialogIcon::Error, u"Application Error", text); });
    }
    return 1;
  }
}

void TServiceApplication::HandleException(std::exception_ptr failure) {
  guarded([&] {
    const std::u16string text = FailureText(failure);
    if (service_mode_.load()) {
      ports_.log.LogError(text);
    } else {
      ports_.dialogs.ShowMessage(DialogIcon::Error, u"Application Error", text);
    }
  });
}

void TServiceApplication::RegisterServices(bool install, bool silent) {
  // A failure to open the manager is not this routine's to show: it escapes to Run.
  std::unique_ptr<ServiceManagerHandle> manager = ports_.manager.OpenSCManager();
  bool failed = false;
  if (service_ != nullptr) {
    try {
      if (install) {
        InstallService(*service_, *manager, ports_.manager.ProgramPath());
      } else {
        UninstallService(*service_, *manager);
      }
    } catch (...) {
      failed = true;
      const std::u16string failure = FailureText(std::current_exception());
      const std::u16string name = service_->EffectiveDisplayName();
      ports_.dialogs.ShowMessage(
          DialogIcon::Error, u"Error",
          install ? InstallFailedText(name, failure) : UninstallFailedText(name, failure));
    }
  }
  manager.reset();
  if (!failed && !silent) {
    ports_.dialogs.ShowMessage(
        DialogIcon::Information, u"Information",
        install ? u"Service installed successfully" : u"Service uninstalled successfully");
  }
}

void TServiceApplication::RunServices() {
  service_mode_.store(true);
  std::atomic<uint32_t> result{0};
  TService* service = service_;
  std::thread dispatcher([this, service, &result] {
    guarded([&] {
      if (service == nullptr) {
        return;
      }
      result.store(ports_.manager.StartServiceCtrlDispatcher(
          service->Name(), [service](std::vector<std::u16string> arguments) {
            service->Main(std::move(arguments));
          }));
    });
    guarded([&] { ports_.queue.PostQuit(); });
  });
  ports_.queue.RunMessageLoop();
  dispatcher.join();
  if (const uint32_t error = result.load(); error != 0) {
    const std::u16string message = guarded_or(
        std::u16string(), [&] { return TrimSystemMessage(ports_.messages.SystemMessage(error)); });
    guarded([&] { ports_.log.LogError(message); });
  }
}
