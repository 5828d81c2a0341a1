// Program-level service logic against fakes: switches, install and uninstall with their messages,
// and service mode's connection to the Service Control Manager.
#include <gtest/gtest.h>

#include <stdexcept>

#include "service/ServiceApplication.h"
#include "service/ServiceInstaller.h"
#include "service/ServiceSwitches.h"
#include "tests/fakes/FakeServicePorts.h"

namespace {

TEST(ServiceSwitches, Parsing) {
  struct Case {
    std::vector<std::u16string> parameters;
    ServiceProgramMode mode;
    bool silent;
  };
  using M = ServiceProgramMode;
  const Case cases[] = {
      {{}, M::Service, false},
      {{u"/install"}, M::Install, false},
      {{u"-INSTALL"}, M::Install, false},
      {{u"/InStAlL", u"/silent"}, M::Install, true},
      {{u"-silent", u"foo", u"/install"}, M::Install, true},
      {{u"-UnInstall"}, M::Uninstall, false},
      {{u"-UnInstall", u"-SILENT"}, M::Uninstall, true},
      {{u"/uninstall", u"/install"}, M::Install, false},  // INSTALL is looked for first
      {{u"/silent"}, M::Service, true},
      {{u"install"}, M::Service, false},    // no "/" or "-"
      {{u"\\install"}, M::Service, false},  // not a switch character
      {{u"//install"}, M::Service, false},
      {{u"/install "}, M::Service, false},  // the whole parameter is the switch
      {{u"/installer"}, M::Service, false},
      {{u"/INST\u0130LL"}, M::Service, false},  // only ASCII letters fold
      {{u"/"}, M::Service, false},
      {{u""}, M::Service, false},
  };
  for (const Case& c : cases) {
    const ServiceSwitches s = ParseServiceSwitches(c.parameters);
    EXPECT_EQ(s.mode, c.mode) << ToUtf8(c.parameters.empty() ? u"" : c.parameters[0]);
    EXPECT_EQ(s.silent, c.silent) << ToUtf8(c.parameters.empty() ? u"" : c.parameters[0]);
  }
}

class Module : public TService {
 public:
  using TService::TService;
  ControlHandlerEntry GetServiceController() override {
    return [this](uint32_t code) { Controller(code); };
  }
};

struct App {
  FakeSystemMessages messages;
  FakeServiceControlManager manager{messages};
  FakeMessageQueue queue;
  FakeEventLog serviceLog;
  FakeEventLog programLog;
  FakeDialogs dialogs;
  Module module{u"Nimbello", ServicePorts{manager, queue, serviceLog, messages}};
  TServiceApplication application{
      ServiceApplicationPorts{manager, queue, programLog, messages, dialogs}};
  App() {
    application.CreateForm(module);
    module.BeforeInstall = [](TService& s) { s.DisplayName = u"Nimbello Memory Service"; };
  }
  int Run(std::vector<std::u16string> parameters) {
    return application.Run(ParseServiceSwitches(parameters));
  }
};

using Shown = FakeDialogs::Shown;

TEST(ServiceInstall, RegistersTheModuleWithAQuotedPath) {
  App app;
  EXPECT_EQ(app.Run({u"/install"}), 0);
  ASSERT_EQ(app.manager.created.size(), 1u);
  ServiceRegistration expected;
  expected.serviceName = u"Nimbello";
  expected.displayName = u"Nimbello Memory Service";
  expected.desiredAccess = 0x10000;  // DELETE, for taking back a failed install
  expected.serviceType = 0x10;
  expected.startType = 2;
  expected.errorControl = 1;
  expected.binaryPathName = u"\"C:\\Program Files\\Nimbello\\NimbelloService.exe\"";
  EXPECT_EQ(app.manager.created[0], expected);
  EXPECT_EQ(app.dialogs.shown, (std::vector<Shown>{{DialogIcon::Information, u"Information",
                                                    u"Service installed successfully"}}));
  EXPECT_EQ(app.manager.openHandles, 0);
  EXPECT_TRUE(app.programLog.Entries().empty());
}

TEST(ServiceInstall, EmptyDisplayNameStandsForTheServiceName) {
  App app;
  app.module.BeforeInstall = [](TService& s) { s.DisplayName.clear(); };
  app.Run({u"/install", u"/silent"});
  ASSERT_EQ(app.manager.created.size(), 1u);
  EXPECT_EQ(app.manager.created[0].displayName, u"Nimbello");
}

TEST(ServiceInstall, OutcomeMessages) {
  struct Case {
    const char* name;
    std::vector<std::u16string> parameters;
    bool installed;  // the service exists before the run
    uint32_t openServiceError, deleteError;
    std::vector<Shown> shown;
    bool installedAfter;
  };
  const auto info = DialogIcon::Information;
  const auto error = DialogIcon::Error;
  const Case cases[] = {
      {"silent install", {u"/install", u"/silent"}, false, 0, 0, {}, true},
      {"second install",
       {u"/install"},
       true,
       0,
       0,
       {{error, u"Error",
         u"Service \"Nimbello Memory Service\" failed to install with error: \"System Error.  "
         u"Code: 1073.\r\nThe specified service already exists\""}},
       true},
      {"silent second install",
       {u"-silent", u"-install"},
       true,
       0,
       0,
       {{error, u"Error",
         u"Service \"Nimbello Memory Service\" failed to install with error: \"System Error.  "
         u"Code: 1073.\r\nThe specified service already exists\""}},
       true},
      {"uninstall",
       {u"-UnInstall"},
       true,
       0,
       0,
       {{info, u"Information", u"Service uninstalled successfully"}},
       false},
      {"silent uninstall", {u"/uninstall", u"/SILENT"}, true, 0, 0, {}, false},
      {"uninstall of a missing service",
       {u"/uninstall", u"/silent"},
       false,
       0,
       0,
       {{error, u"Error",
         u"Service \"Nimbello\" failed to uninstall with error: \"System Error.  Code: "
         u"1060.\r\nThe specified service does not exist as an installed service\""}},
       false},
      {"delete refused",
       {u"/uninstall"},
       true,
       0,
       1072,
       {{error, u"Error",
         u"Service \"Nimbello\" failed to uninstall with error: \"System Error.  Code: "
         u"1072.\r\nThe specified service has been marked for deletion\""}},
       true},
      {"failure without a code",
       {u"/uninstall"},
       true,
       0,
       0xFFFFFFFF,
       {{error, u"Error",
         u"Service \"Nimbello\" failed to uninstall with error: \"System Error.  Code: "
         u"4294967295.\r\nUnknown error 4294967295\""}},
       true},
  };
  for (const Case& c : cases) {
    App app;
    if (c.installed) {
      app.manager.services.insert(u"Nimbello");
    }
    app.manager.openServiceError = c.openServiceError;
    app.manager.deleteError = c.deleteError;
    EXPECT_EQ(app.Run(c.parameters), 0) << c.name;
    EXPECT_EQ(app.dialogs.shown, c.shown) << c.name;
    EXPECT_EQ(app.manager.services.contains(u"Nimbello"), c.installedAfter) << c.name;
    EXPECT_EQ(app.manager.openHandles, 0) << c.name;
    EXPECT_EQ(app.manager.dispatcherName, u"") << c.name;
  }
}

TEST(ServiceInstall, FailingAfterInstallRemovesTheNewServiceAgain) {
  App app;
  app.module.AfterInstall = [](TService&) { throw Failure(u"after"); };
  EXPECT_EQ(app.Run({u"/install", u"/silent"}), 0);
  EXPECT_FALSE(app.manager.services.contains(u"Nimbello"));
  EXPECT_EQ(app.dialogs.shown,
            (std::vector<Shown>{{DialogIcon::Error, u"Error",
                                 u"Service \"Nimbello Memory Service\" failed to install with "
                                 u"error: \"after\""}}));
  EXPECT_EQ(app.manager.openHandles, 0);
}

TEST(ServiceInstall, ManagerThatCannotBeOpenedShowsTheGeneralErrorAndExitsWithOne) {
  for (const auto& parameters : {std::vector<std::u16string>{u"/install", u"/silent"},
                                 std::vector<std::u16string>{u"-uninstall"}}) {
    App app;
    app.manager.openManagerError = 5;
    EXPECT_EQ(app.Run(parameters), 1);
    EXPECT_EQ(app.dialogs.shown,
              (std::vector<Shown>{{DialogIcon::Error, u"Application Error",
                                   u"System Error.  Code: 5.\r\nAccess is denied"}}));
    EXPECT_TRUE(app.manager.created.empty());
    EXPECT_EQ(app.manager.openHandles, 0);
  }
}

TEST(ServiceInstall, QuotedImagePath) {
  EXPECT_EQ(QuotedImagePath(u"C:\\Program Files\\N\\NimbelloService.exe"),
            u"\"C:\\Program Files\\N\\NimbelloService.exe\"");
  EXPECT_EQ(QuotedImagePath(u"Z:\\a.exe"), u"\"Z:\\a.exe\"");
}

TEST(ServiceMode, FailedConnectionIsLoggedOnceUnderTheProgramsName) {
  App app;
  app.manager.dispatcherError = 1063;
  EXPECT_EQ(app.Run({u"/silent"}), 0);
  EXPECT_EQ(app.manager.dispatcherName, u"Nimbello");
  EXPECT_EQ(app.programLog.Entries(),
            std::vector<std::u16string>{
                u"The service process could not connect to the service controller"});
  EXPECT_TRUE(app.serviceLog.Entries().empty());
  EXPECT_TRUE(app.dialogs.shown.empty());
}

TEST(ServiceMode, RunsTheServiceUntilItStops) {
  App app;
  app.manager.runServiceMain = true;
  app.manager.startArguments = {u"Nimbello", u"extra"};
  // Stops itself at once: the service thread's first pass finds a stop queued.
  app.module.OnStart = [](TService& s, bool&) {
    s.Queue().PostThreadMessage(ServiceControlMessage, ServiceControl::Stop);
  };
  EXPECT_EQ(app.Run({}), 0);
  const auto reports = app.manager.Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().currentState, 1u);
  EXPECT_EQ(app.module.Params(), app.manager.startArguments);
  EXPECT_TRUE(app.programLog.Entries().empty());
}

TEST(ServiceMode, FailuresOfTheMainThreadsEventsAreLogged) {
  App app;
  app.manager.dispatcherError = 1063;
  app.Run({});
  app.application.HandleException(std::make_exception_ptr(Failure(u"tick %s %n")));
  const auto entries = app.programLog.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1], u"tick %s %n");
  EXPECT_TRUE(app.dialogs.shown.empty());
}

}  // namespace
