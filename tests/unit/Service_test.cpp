// The service framework's logic against fakes: the state table of control requests, status
// reports with check points and accepted controls, the service main and the failure log texts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "service/Service.h"
#include "service/ServiceThread.h"
#include "tests/fakes/FakeServicePorts.h"

namespace {

using S = TCurrentStatus;
using std::chrono::milliseconds;

enum class Answer { Done, NotDone, Fails };

class TestService : public TService {
 public:
  TestService(const ServicePorts& ports) : TService(u"Nimbello", ports) {
    auto answer = [](Answer a, bool& done) {
      if (a == Answer::Fails) {
        throw std::runtime_error("boom");
      }
      done = a == Answer::Done;
    };
    OnStop = [this, answer](TService&, bool& done) {
      ++stops;
      answer(stopAnswer, done);
    };
    OnPause = [this, answer](TService&, bool& done) {
      ++pauses;
      answer(pauseAnswer, done);
    };
    OnContinue = [this, answer](TService&, bool& done) {
      ++continues;
      answer(continueAnswer, done);
    };
    OnShutdown = [this](TService&) {
      ++shutdowns;
      if (shutdownAnswer == Answer::Fails) {
        throw std::runtime_error("boom");
      }
    };
  }
  ControlHandlerEntry GetServiceController() override {
    return [this](uint32_t code) { Controller(code); };
  }
  Answer stopAnswer = Answer::Done, pauseAnswer = Answer::Done, continueAnswer = Answer::Done,
         shutdownAnswer = Answer::Done;
  std::atomic<int> stops{0}, pauses{0}, continues{0}, shutdowns{0};
};

struct Rig {
  FakeSystemMessages messages;
  FakeServiceControlManager manager{messages};
  FakeMessageQueue queue;
  FakeEventLog log;
  TestService service{ServicePorts{manager, queue, log, messages}};

  std::vector<S> States(size_t from = 0) const {
    std::vector<S> states;
    const auto reports = manager.Reports();
    for (size_t i = from; i < reports.size(); ++i) {
      states.push_back(static_cast<S>(reports[i].currentState));
    }
    return states;
  }
};

struct ControlCase {
  const char* name;
  S before;
  std::vector<uint32_t> codes;
  Answer answer;  // of the handler the codes call
  std::vector<S> reports;
  bool terminated;
  bool staysSuspended;  // the service thread waits for the next request afterwards
  std::u16string logged;
};

class ControlTable : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControlTable, ReportsAndHandlers) {
  const ControlCase& c = GetParam();
  Rig rig;
  rig.queue.singleThreaded = true;
  rig.queue.CreateQueue();
  rig.service.stopAnswer = rig.service.pauseAnswer = rig.service.continueAnswer =
      rig.service.shutdownAnswer = c.answer;
  rig.service.SetStatus(c.before);
  const size_t first = rig.manager.Reports().size();
  for (uint32_t code : c.codes) {
    rig.queue.Post(ServiceControlMessage, code);
  }
  TServiceThread thread(rig.service);
  if (c.staysSuspended) {
    EXPECT_THROW(thread.ProcessRequests(false), WouldWait);
  } else {
    EXPECT_NO_THROW(thread.ProcessRequests(false));
  }
  EXPECT_EQ(rig.States(first), c.reports);
  EXPECT_EQ(thread.Terminated(), c.terminated);
  const auto entries = rig.log.Entries();
  if (c.logged.empty()) {
    EXPECT_TRUE(entries.empty());
  } else {
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], c.logged);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Framework, ControlTable,
    ::testing::Values(
        ControlCase{"Stop", S::csRunning, {1}, Answer::Done, {S::csStopPending}, true, false, u""},
        ControlCase{"StopRefused",
                    S::csRunning,
                    {1},
                    Answer::NotDone,
                    {S::csStopPending, S::csRunning},
                    false,
                    false,
                    u""},
        ControlCase{"StopFails",
                    S::csRunning,
                    {1},
                    Answer::Fails,
                    {S::csStopPending, S::csRunning},
                    false,
                    false,
                    u"Service failed on stop: boom"},
        ControlCase{"Pause",
                    S::csRunning,
                    {2},
                    Answer::Done,
                    {S::csPausePending, S::csPaused},
                    false,
                    true,
                    u""},
        ControlCase{"PauseRefused",
                    S::csRunning,
                    {2},
                    Answer::NotDone,
                    {S::csPausePending, S::csRunning},
                    false,
                    false,
                    u""},
        ControlCase{"PauseFails",
                    S::csRunning,
                    {2},
                    Answer::Fails,
                    {S::csPausePending, S::csRunning},
                    false,
                    false,
                    u"Service failed on pause: boom"},
        ControlCase{"Continue",
                    S::csPaused,
                    {3},
                    Answer::Done,
                    {S::csContinuePending, S::csRunning},
                    false,
                    false,
                    u""},
        ControlCase{"ContinueRefused",
                    S::csPaused,
                    {3},
                    Answer::NotDone,
                    {S::csContinuePending, S::csPaused},
                    false,
                    true,
                    u""},
        ControlCase{"ContinueFails",
                    S::csPaused,
                    {3},
                    Answer::Fails,
                    {S::csContinuePending, S::csPaused},
                    false,
                    true,
                    u"Service failed on continue: boom"},
        ControlCase{"PauseThenContinue",
                    S::csRunning,
                    {2, 3},
                    Answer::Done,
                    {S::csPausePending, S::csPaused, S::csContinuePending, S::csRunning},
                    false,
                    false,
                    u""},
        ControlCase{
            "Interrogate", S::csRunning, {4}, Answer::Done, {S::csRunning}, false, false, u""},
        ControlCase{"InterrogateWhilePaused",
                    S::csPaused,
                    {4},
                    Answer::Done,
                    {S::csPaused},
                    false,
                    true,
                    u""},
        ControlCase{"StopWhilePaused",
                    S::csPaused,
                    {1},
                    Answer::Done,
                    {S::csStopPending},
                    true,
                    false,
                    u""},
        ControlCase{
            "Shutdown", S::csRunning, {5}, Answer::Done, {S::csStopPending}, true, false, u""},
        ControlCase{"ShutdownFails",
                    S::csRunning,
                    {5},
                    Answer::Fails,
                    {S::csStopPending},
                    true,
                    false,
                    u"Service failed on shutdown: boom"},
        ControlCase{"ShutdownWhilePaused",
                    S::csPaused,
                    {5},
                    Answer::Done,
                    {S::csStopPending},
                    true,
                    false,
                    u""},
        ControlCase{"OtherCodes",
                    S::csRunning,
                    {0, 6, 128, 255, 0xFFFFFFFF},
                    Answer::Done,
                    {},
                    false,
                    false,
                    u""},
        // Once stopping, a pause or continue queued behind the stop must not report it running.
        ControlCase{"PauseAfterStop",
                    S::csRunning,
                    {1, 2, 3},
                    Answer::Done,
                    {S::csStopPending},
                    true,
                    false,
                    u""},
        ControlCase{"InterrogateAfterStop",
                    S::csRunning,
                    {1, 4},
                    Answer::Done,
                    {S::csStopPending, S::csStopPending},
                    true,
                    false,
                    u""}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ServiceStatusReport, CheckPointsCountRepeatedPendingReports) {
  Rig rig;
  for (S s : {S::csStartPending, S::csStartPending, S::csRunning, S::csRunning, S::csStopPending,
              S::csStopPending, S::csStopPending, S::csPausePending, S::csStopped}) {
    rig.service.SetStatus(s);
  }
  std::vector<uint32_t> points;
  for (const auto& r : rig.manager.Reports()) {
    points.push_back(r.checkPoint);
  }
  EXPECT_EQ(points, (std::vector<uint32_t>{0, 1, 0, 0, 0, 1, 2, 0, 0}));
}

TEST(ServiceStatusReport, RecordFields) {
  struct Case {
    bool allowStop, allowPause;
    S status;
    uint32_t errCode, win32ErrCode;
    ServiceStatusRecord expected;
  };
  const Case cases[] = {
      {true, true, S::csRunning, 0, 0, {0x10, 4, 7, 0, 0, 0, 5000}},
      {true, true, S::csStartPending, 0, 0, {0x10, 2, 0, 0, 0, 0, 5000}},
      {false, true, S::csPaused, 0, 0, {0x10, 7, 6, 0, 0, 0, 5000}},
      {true, false, S::csRunning, 0, 0, {0x10, 4, 5, 0, 0, 0, 5000}},
      {true, true, S::csStopped, 0, 1067, {0x10, 1, 7, 1067, 0, 0, 5000}},
      {true, true, S::csStopped, 42, 1067, {0x10, 1, 7, 1066, 42, 0, 5000}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.service.AllowStop = c.allowStop;
    rig.service.AllowPause = c.allowPause;
    rig.service.ErrCode = c.errCode;
    rig.service.Win32ErrCode = c.win32ErrCode;
    rig.service.SetStatus(c.status);
    ASSERT_EQ(rig.manager.Reports().size(), 1u);
    EXPECT_EQ(rig.manager.Reports()[0], c.expected) << static_cast<int>(c.status);
  }
}

TEST(ServiceStatusReport, FailedReportIsLoggedWithTheSystemMessage) {
  Rig rig;
  rig.manager.setStatusError = 6;
  rig.service.SetStatus(S::csRunning);
  EXPECT_EQ(rig.log.Entries(), std::vector<std::u16string>{u"The handle is invalid"});
}

TEST(ServiceMain, FailedHandlerRegistrationLogsAndNeverReports) {
  Rig rig;
  rig.manager.registerHandlerError = 1063;
  rig.service.Main({u"Nimbello"});
  EXPECT_TRUE(rig.manager.Reports().empty());
  EXPECT_EQ(rig.log.Entries(),
            std::vector<std::u16string>{
                u"The service process could not connect to the service controller"});
  EXPECT_EQ(rig.manager.handlerName, u"Nimbello");
}

TEST(ServiceMain, StartFailureIsLoggedAndTheServiceStops) {
  Rig rig;
  rig.service.OnStart = [](TService&, bool&) { throw Failure(u"no start"); };
  rig.service.Main({});
  EXPECT_EQ(rig.States(), (std::vector<S>{S::csStartPending, S::csStartPending, S::csStopped}));
  EXPECT_EQ(rig.log.Entries(), std::vector<std::u16string>{u"Service failed on start: no start"});
}

TEST(ServiceMain, StartAnsweredFalseEndsWithoutRunning) {
  Rig rig;
  rig.service.OnStart = [](TService&, bool& started) { started = false; };
  rig.service.Main({});
  EXPECT_EQ(rig.States(), (std::vector<S>{S::csStartPending, S::csStartPending, S::csStopped}));
  EXPECT_TRUE(rig.log.Entries().empty());
}

TEST(ServiceMain, ExecuteFailureIsLogged) {
  Rig rig;
  rig.service.OnExecute = [](TService&) { throw Failure(u"loop"); };
  rig.service.Main({});
  EXPECT_EQ(rig.States(),
            (std::vector<S>{S::csStartPending, S::csStartPending, S::csRunning, S::csStopped}));
  EXPECT_EQ(rig.log.Entries(), std::vector<std::u16string>{u"Service failed on execute: loop"});
}

// Waits, bounded, until the service has reported `status` `count` times in all.
bool AwaitReports(const Rig& rig, S status, size_t count = 1) {
  for (int i = 0; i < 2000; ++i) {
    size_t n = 0;
    for (S s : rig.States()) {
      n += s == status ? 1 : 0;
    }
    if (n >= count) {
      return true;
    }
    std::this_thread::sleep_for(milliseconds(2));
  }
  return false;
}

// The real threads: service main, service thread and the control handler on the test's thread.
struct RunningService {
  Rig rig;
  std::thread main;
  explicit RunningService(std::function<void(TestService&)> execute = {}) {
    if (execute) {
      rig.service.OnExecute = [execute](TService& s) { execute(static_cast<TestService&>(s)); };
    } else {
      // The same loop shape as the product's: sleep, then take up what is queued.
      rig.service.OnExecute = [](TService& s) {
        while (!s.ServiceThread()->Terminated()) {
          s.Queue().Sleep(500);
          s.ServiceThread()->ProcessRequests(false);
        }
      };
    }
    main = std::thread([this] { rig.service.Main({u"Nimbello"}); });
  }
  ~RunningService() {
    if (main.joinable()) {
      rig.service.GetServiceController()(ServiceControl::Stop);
      main.join();
    }
  }
  void Send(uint32_t code) { rig.manager.Handler()(code); }
};

TEST(ServiceThreads, StartPauseInterrogateStopWhilePaused) {
  RunningService r;
  ASSERT_TRUE(AwaitReports(r.rig, S::csRunning));
  r.Send(ServiceControl::Pause);
  ASSERT_TRUE(AwaitReports(r.rig, S::csPaused));
  r.Send(ServiceControl::Interrogate);
  ASSERT_TRUE(AwaitReports(r.rig, S::csPaused, 2));
  EXPECT_EQ(r.rig.service.Status(), S::csPaused);
  r.Send(ServiceControl::Stop);
  r.main.join();
  EXPECT_EQ(r.rig.States(),
            (std::vector<S>{S::csStartPending, S::csStartPending, S::csRunning, S::csPausePending,
                            S::csPaused, S::csPaused, S::csStopPending, S::csStopped}));
  EXPECT_EQ(r.rig.service.ServiceThread(), nullptr);
  EXPECT_TRUE(r.rig.log.Entries().empty());
}

TEST(ServiceThreads, ControlBeforeTheServiceThreadHasAQueueIsDropped) {
  Rig rig;
  rig.service.Controller(ServiceControl::Stop);
  EXPECT_EQ(rig.queue.dropped, 1);
  EXPECT_TRUE(rig.manager.Reports().empty());
}

TEST(ServiceThreads, ControlStormEndsConsistently) {
  RunningService r;
  ASSERT_TRUE(AwaitReports(r.rig, S::csRunning));
  const uint32_t round[] = {ServiceControl::Pause, ServiceControl::Continue,
                            ServiceControl::Interrogate};
  for (int i = 0; i < 300; ++i) {
    if (i == 150) {
      r.Send(ServiceControl::Stop);
    }
    for (uint32_t code : round) {
      r.Send(code);
    }
  }
  r.main.join();
  const std::vector<S> states = r.rig.States();
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), S::csStopped);
  // From the stop on, only stop-pending reports (interrogations) until stopped.
  const auto stop = std::find(states.begin(), states.end(), S::csStopPending);
  ASSERT_NE(stop, states.end());
  for (auto it = stop; it + 1 != states.end(); ++it) {
    EXPECT_EQ(*it, S::csStopPending);
  }
  // Every pause that was reported done was followed by a continue or the stop.
  EXPECT_EQ(r.rig.service.stops.load(), 1);
  EXPECT_LE(r.rig.service.continues.load(), r.rig.service.pauses.load());
  EXPECT_TRUE(r.rig.log.Entries().empty());
}

TEST(ServiceThreads, StopIsTakenUpAtTheNextPassOfTheExecuteLoop) {
  RunningService r;
  ASSERT_TRUE(AwaitReports(r.rig, S::csRunning));
  r.Send(ServiceControl::Stop);
  r.main.join();
  EXPECT_EQ(r.rig.States().back(), S::csStopped);
  EXPECT_GE(r.rig.queue.sleeps.size(), 1u);
  EXPECT_EQ(r.rig.queue.sleeps.front(), 500u);
}

TEST(FailureTexts, Texts) {
  EXPECT_EQ(ServiceFailedText(u"interrogate", u"x %s %d"),
            u"Service failed on interrogate: x %s %d");
  EXPECT_EQ(CustomMessageFailedText(200, u"bad"), u"Service failed in custom message(200): bad");
  EXPECT_EQ(CustomMessageFailedText(4294967295u, u""),
            u"Service failed in custom message(4294967295): ");
}

TEST(FailureTexts, SystemErrorText) {
  struct Case {
    uint32_t code;
    std::u16string_view message;
    std::u16string_view expected;
  };
  const Case cases[] = {
      {1073, u"The specified service already exists.\r\n",
       u"System Error.  Code: 1073.\r\nThe specified service already exists"},
      {5, u"Access is denied. . \r\n\r\n", u"System Error.  Code: 5.\r\nAccess is denied"},
      {1, u"", u"System Error.  Code: 1.\r\n"},
      {2, u"...", u"System Error.  Code: 2.\r\n"},
      {3, u"v1.0 is ok", u"System Error.  Code: 3.\r\nv1.0 is ok"},
      {0, u"The operation completed successfully.\r\n", u"A call to an OS function failed"},
      {4294967295u, u"x\t", u"System Error.  Code: 4294967295.\r\nx"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemErrorText(c.code, c.message), c.expected) << c.code;
  }
}

TEST(FailureTexts, TextOfAnyFailure) {
  EXPECT_EQ(FailureText(std::make_exception_ptr(Failure(u"caf\u00E9"))), u"caf\u00E9");
  EXPECT_EQ(FailureText(std::make_exception_ptr(std::runtime_error("plain"))), u"plain");
  EXPECT_EQ(FailureText(std::make_exception_ptr(42)), u"Unknown failure");
  EXPECT_EQ(FailureText(nullptr), u"Unknown failure");
  FakeSystemMessages messages;
  const OSFailure f = MakeOSFailure(1060, messages);
  EXPECT_EQ(f.Code(), 1060u);
  EXPECT_EQ(f.Text(),
            u"System Error.  Code: 1060.\r\nThe specified service does not exist as an installed "
            u"service");
}

}  // namespace
