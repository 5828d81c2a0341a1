#include "service/ServiceInstaller.h"

#include "foundation/base/Guard.h"

namespace {

std::u16string FailedText(std::u16string_view verb, std::u16string_view displayName,
                          std::u16string_view failure) {
  std::u16string text = u"Service \"";
  text += displayName;
  text += u"\" failed to ";
  text += verb;
  text += u" with error: \"";
  text += failure;
  text += u"\"";
  return text;
}

}  // namespace

std::u16string QuotedImagePath(std::u16string_view programPath) {
  std::u16string quoted = u"\"";
  quoted += programPath;
  quoted += u"\"";
  return quoted;
}

void InstallService(TService& service, ServiceManagerHandle& manager,
                    std::u16string_view programPath) {
  if (service.BeforeInstall) {
    service.BeforeInstall(service);
  }
  std::unique_ptr<ServiceHandle> handle =
      manager.CreateService(service.Registration(QuotedImagePath(programPath)));
  try {
    if (service.AfterInstall) {
      service.AfterInstall(service);
    }
  } catch (...) {
    guarded([&] { handle->Delete(); });
    throw;
  }
}

void UninstallService(TService& service, ServiceManagerHandle& manager) {
  if (service.BeforeUninstall) {
    service.BeforeUninstall(service);
  }
  {
    std::unique_ptr<ServiceHandle> handle = manager.OpenService(service.Name());
    handle->Delete();
  }
  if (service.AfterUninstall) {
    service.AfterUninstall(service);
  }
}

std::u16string InstallFailedText(std::u16string_view displayName, std::u16string_view failure) {
  return FailedText(u"install", displayName, failure);
}

std::u16string UninstallFailedText(std::u16string_view displayName, std::u16string_view failure) {
  return FailedText(u"uninstall", displayName, failure);
}
