#pragma once
// Registering a service module with the Service Control Manager and removing it again.
#include <string>
#include <string_view>

#include "service/Service.h"
#include "service/ServiceControlManagerPort.h"

// The image path as registered: the program's full path in double quotes, so that a path with a
// blank cannot be taken for a shorter program path with arguments.
std::u16string QuotedImagePath(std::u16string_view programPath);

// BeforeInstall, CreateServiceW, AfterInstall, close. A failure of AfterInstall deletes the new
// service again and counts as a failed install. Throws the failure.
void InstallService(TService& service, ServiceManagerHandle& manager,
                    std::u16string_view programPath);

// BeforeUninstall, OpenServiceW, DeleteService, close, AfterUninstall. Throws the failure.
void UninstallService(TService& service, ServiceManagerHandle& manager);

// "Service "%s" failed to install with error: "%s"" and the uninstall counterpart.
std::u16string InstallFailedText(std::u16string_view displayName, std::u16string_view failure);
std::u16string UninstallFailedText(std::u16string_view displayName, std::u16string_view failure);
