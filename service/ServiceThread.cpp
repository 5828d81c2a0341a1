#include "service/ServiceThread.h"

#include "service/Service.h"

namespace {

std::u16string_view ActionWord(uint32_t code) {
  switch (code) {
    case ServiceControl::Stop:
      return u"stop";
    case ServiceControl::Pause:
      return u"pause";
    case ServiceControl::Continue:
      return u"continue";
    case ServiceControl::Interrogate:
      return u"interrogate";
    case ServiceControl::Shutdown:
      return u"shutdown";
    default:
      return {};
  }
}

}  // namespace

void TServiceThread::Execute() {
  MessageQueuePort& queue = service_.Queue();
  try {
    queue.CreateQueue();
    service_.SetStatus(TCurrentStatus::csStartPending);
    bool started = true;
    if (service_.OnStart) {
      service_.OnStart(service_, started);
    }
    if (!started) {
      return;
    }
    try {
      service_.SetStatus(TCurrentStatus::csRunning);
      if (service_.OnExecute) {
        service_.OnExecute(service_);
      } else {
        ProcessRequests(true);
      }
      ProcessRequests(false);
    } catch (...) {
      service_.LogMessage(ServiceFailedText(u"execute", FailureText(std::current_exception())));
    }
  } catch (...) {
    service_.LogMessage(ServiceFailedText(u"start", FailureText(std::current_exception())));
  }
}

void TServiceThread::ProcessRequests(bool waitForMessage) {
  MessageQueuePort& queue = service_.Queue();
  for (;;) {
    if (waitForMessage && Terminated()) {
      return;
    }
    const std::optional<QueuedMessage> message = queue.PeekMessage();
    if (!message) {
      // A paused service waits here, without running its execute loop, until the control handler
      // posts the next request; the post itself wakes it, so a request that arrives just before
      // the wait is never lost.
      const bool paused = service_.Status() == TCurrentStatus::csPaused && !Terminated();
      if (!waitForMessage && !paused) {
        return;
      }
      queue.WaitMessage();
      continue;
    }
    if (message->message == ServiceControlMessage) {
      ProcessRequest(static_cast<uint32_t>(message->wParam));
    } else {
      queue.DispatchMessage();
    }
  }
}

void TServiceThread::ProcessRequest(uint32_t code) {
  // Once a stop or shutdown has been taken up the service is on its way to stopped: a pause or
  // continue queued behind it must not report it running or paused again.
  if (Terminated() && code != ServiceControl::Interrogate) {
    return;
  }
  const TCurrentStatus before = service_.Status();
  try {
    bool done = true;
    switch (code) {
      case ServiceControl::Stop:
        service_.SetStatus(TCurrentStatus::csStopPending);
        if (service_.OnStop) {
          service_.OnStop(service_, done);
        }
        if (done) {
          Terminate();
        }
        break;
      case ServiceControl::Pause:
        service_.SetStatus(TCurrentStatus::csPausePending);
        if (service_.OnPause) {
          service_.OnPause(service_, done);
        }
        if (done) {
          service_.SetStatus(TCurrentStatus::csPaused);
        }
        break;
      case ServiceControl::Continue:
        service_.SetStatus(TCurrentStatus::csContinuePending);
        if (service_.OnContinue) {
          service_.OnContinue(service_, done);
        }
        if (done) {
          service_.SetStatus(TCurrentStatus::csRunning);
        }
        break;
      case ServiceControl::Interrogate:
        service_.ReportStatus();
        break;
      case ServiceControl::Shutdown:
        service_.SetStatus(TCurrentStatus::csStopPending);
        try {
          if (service_.OnShutdown) {
            service_.OnShutdown(service_);
          }
        } catch (...) {
          Terminate();
          throw;
        }
        Terminate();
        break;
      default:
        break;  // counts as handled
    }
    if (!done) {
      service_.SetStatus(before);
    }
  } catch (...) {
    const std::u16string failure = FailureText(std::current_exception());
    if (code != ServiceControl::Shutdown) {
      service_.SetStatus(before);
    }
    const std::u16string_view action = ActionWord(code);
    service_.LogMessage(action.empty() ? CustomMessageFailedText(code, failure)
                                       : ServiceFailedText(action, failure));
  }
}
