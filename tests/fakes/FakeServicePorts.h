#pragma once
// In-memory stand-ins for the service framework's platform operations: the Service Control
// Manager, the threads' message queues, thread timers, the event log, the system's messages and
// the message dialogs. All are safe to use from several threads, as the framework does.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/base/Text.h"
#include "service/EventLogPort.h"
#include "service/EventSourcePort.h"
#include "service/FailureText.h"
#include "service/MessageDialogPort.h"
#include "service/MessageQueuePort.h"
#include "service/ProgramFolderAccess.h"
#include "service/ServiceControlManagerPort.h"
#include "service/TimerPort.h"

class FakeEventLog : public EventLogPort {
 public:
  void LogError(std::u16string_view text) override {
    std::lock_guard lock(mutex_);
    entries_.emplace_back(text);
  }
  std::vector<std::u16string> Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::u16string> entries_;
};

// Messages shaped like Windows' own: a sentence with a period and a line break at the end.
class FakeSystemMessages : public SystemMessagePort {
 public:
  std::map<uint32_t, std::u16string> texts{
      {5, u"Access is denied.\r\n"},
      {1060, u"The specified service does not exist as an installed service.\r\n"},
      {1063, u"The service process could not connect to the service controller.\r\n"},
      {1072, u"The specified service has been marked for deletion.\r\n"},
      {1073, u"The specified service already exists.\r\n"},
      {6, u"The handle is invalid.\r\n"},
  };
  std::u16string SystemMessage(uint32_t code) override {
    const auto found = texts.find(code);
    return found == texts.end() ? u"Unknown error " + DecimalText(code) + u". \r\n" : found->second;
  }
};

class FakeDialogs : public MessageDialogPort {
 public:
  struct Shown {
    DialogIcon icon;
    std::u16string caption;
    std::u16string text;
    bool operator==(const Shown&) const = default;
  };
  std::vector<Shown> shown;
  void ShowMessage(DialogIcon icon, std::u16string_view caption,
                   std::u16string_view text) override {
    shown.push_back({icon, std::u16string(caption), std::u16string(text)});
  }
};

class FakeServiceControlManager : public ServiceControlManagerPort {
 public:
  // Set-up.
  uint32_t openManagerError = 0;
  uint32_t createError = 0;
  uint32_t openServiceError = 0;
  uint32_t deleteError = 0;
  uint32_t dispatcherError = 0;
  uint32_t registerHandlerError = 0;
  uint32_t setStatusError = 0;
  std::u16string programPath = u"C:\\Program Files\\Nimbello\\NimbelloService.exe";
  std::set<std::u16string> services;  // installed service names
  // When set, StartServiceCtrlDispatcher calls the service main with these arguments.
  bool runServiceMain = false;
  std::vector<std::u16string> startArguments;

  // Inspection.
  std::vector<ServiceRegistration> created;
  std::vector<std::u16string> deleted;
  int openHandles = 0;  // manager and service handles not closed yet
  int managerOpens = 0;

  std::vector<ServiceStatusRecord> Reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  ControlHandlerEntry Handler() const {
    std::lock_guard lock(mutex_);
    return handler_;
  }

  class Handle : public ServiceHandle {
   public:
    Handle(FakeServiceControlManager& owner, std::u16string name) : owner_(owner), name_(name) {
      ++owner_.openHandles;
    }
    ~Handle() override { --owner_.openHandles; }
    void Delete() override {
      if (owner_.deleteError != 0) {
        throw MakeOSFailure(owner_.deleteError, owner_.messages);
      }
      owner_.services.erase(name_);
      owner_.deleted.push_back(name_);
    }

   private:
    FakeServiceControlManager& owner_;
    std::u16string name_;
  };

  class Manager : public ServiceManagerHandle {
   public:
    explicit Manager(FakeServiceControlManager& owner) : owner_(owner) { ++owner_.openHandles; }
    ~Manager() override { --owner_.openHandles; }
    std::unique_ptr<ServiceHandle> CreateService(const ServiceRegistration& r) override {
      owner_.created.push_back(r);
      if (owner_.createError != 0) {
        throw MakeOSFailure(owner_.createError, owner_.messages);
      }
      if (owner_.services.contains(r.serviceName)) {
        throw MakeOSFailure(1073, owner_.messages);
      }
      owner_.services.insert(r.serviceName);
      return std::make_unique<Handle>(owner_, r.serviceName);
    }
    std::unique_ptr<ServiceHandle> OpenService(std::u16string_view name) override {
      if (owner_.openServiceError != 0) {
        throw MakeOSFailure(owner_.openServiceError, owner_.messages);
      }
      if (!owner_.services.contains(std::u16string(name))) {
        throw MakeOSFailure(1060, owner_.messages);
      }
      return std::make_unique<Handle>(owner_, std::u16string(name));
    }

   private:
    FakeServiceControlManager& owner_;
  };

  explicit FakeServiceControlManager(SystemMessagePort& systemMessages)
      : messages(systemMessages) {}

  std::unique_ptr<ServiceManagerHandle> OpenSCManager() override {
    ++managerOpens;
    if (openManagerError != 0) {
      throw MakeOSFailure(openManagerError, messages);
    }
    return std::make_unique<Manager>(*this);
  }
  uint32_t StartServiceCtrlDispatcher(std::u16string_view serviceName,
                                      ServiceMainEntry serviceMain) override {
    dispatcherName = serviceName;
    if (dispatcherError != 0) {
      return dispatcherError;
    }
    if (runServiceMain) {
      serviceMain(startArguments);
    }
    return 0;
  }
  uint32_t RegisterServiceCtrlHandler(std::u16string_view serviceName,
                                      ControlHandlerEntry handler) override {
    std::lock_guard lock(mutex_);
    handlerName = serviceName;
    if (registerHandlerError != 0) {
      return registerHandlerError;
    }
    handler_ = std::move(handler);
    return 0;
  }
  uint32_t SetServiceStatus(const ServiceStatusRecord& status) override {
    std::lock_guard lock(mutex_);
    reports_.push_back(status);
    return setStatusError;
  }
  std::u16string ProgramPath() override { return programPath; }

  SystemMessagePort& messages;
  std::u16string dispatcherName;
  std::u16string handlerName;

 private:
  mutable std::mutex mutex_;
  std::vector<ServiceStatusRecord> reports_;
  ControlHandlerEntry handler_;
};

// Thrown by the queue when a single-threaded test would make the service thread wait for a
// message that nobody will post.
struct WouldWait : std::runtime_error {
  WouldWait() : std::runtime_error("the service thread waits for a message") {}
};

class FakeMessageQueue : public MessageQueuePort {
 public:
  // Without other threads posting, a wait on an empty queue throws WouldWait instead of waiting.
  bool singleThreaded = false;
  // Called by DispatchMessage with the message that PeekMessage removed last.
  std::function<void(const QueuedMessage&)> onDispatch;

  void RunMessageLoop() override {
    std::unique_lock lock(mutex_);
    // Bounded: a test that forgets to end the loop fails instead of hanging.
    if (!changed_.wait_for(lock, std::chrono::seconds(20), [&] { return quit_; })) {
      throw std::runtime_error("message loop never ended");
    }
  }
  void PostQuit() override {
    std::lock_guard lock(mutex_);
    quit_ = true;
    changed_.notify_all();
  }
  void CreateQueue() override {
    std::lock_guard lock(mutex_);
    created_ = true;
    ++queuesCreated;
  }
  bool PostThreadMessage(uint32_t message, uint64_t wParam) override {
    std::lock_guard lock(mutex_);
    if (!created_) {
      ++dropped;
      return false;
    }
    queue_.push_back({message, wParam});
    changed_.notify_all();
    return true;
  }
  std::optional<QueuedMessage> PeekMessage() override {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
      return std::nullopt;
    }
    last_ = queue_.front();
    queue_.pop_front();
    return last_;
  }
  void DispatchMessage() override {
    QueuedMessage message;
    {
      std::lock_guard lock(mutex_);
      message = last_;
      dispatched.push_back(message.message);
    }
    if (onDispatch) {
      onDispatch(message);
    }
  }
  void WaitMessage() override {
    std::unique_lock lock(mutex_);
    ++waits;
    if (singleThreaded && queue_.empty()) {
      throw WouldWait();
    }
    changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return !queue_.empty(); });
  }
  void Sleep(uint32_t milliseconds) override {
    {
      std::lock_guard lock(mutex_);
      sleeps.push_back(milliseconds);
    }
    // Long enough for other threads to interleave, short enough for quick tests.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  // Test set-up.
  void Post(uint32_t message, uint64_t wParam) {
    std::lock_guard lock(mutex_);
    queue_.push_back({message, wParam});
  }

  int queuesCreated = 0;
  int dropped = 0;
  int waits = 0;
  std::vector<uint32_t> sleeps;
  std::vector<uint32_t> dispatched;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<QueuedMessage> queue_;
  QueuedMessage last_;
  bool created_ = false;
  bool quit_ = false;
};

// Thread timers whose ticks the test fires by hand. The calling thread is given by `thread`.
class FakeTimerPort : public TimerPort {
 public:
  struct Live {
    uint32_t interval;
    TimerTarget* target;
    uint64_t thread;
  };
  uint64_t thread = 1;
  bool failStart = false;
  std::map<uint64_t, Live> live;
  std::vector<uint64_t> killed;
  std::map<uint64_t, TimerTarget*> everStarted;
  int starts = 0;

  uint64_t StartTimer(uint32_t intervalMs, TimerTarget& target) override {
    std::lock_guard lock(mutex_);
    if (failStart) {
      throw std::runtime_error("SetTimer failed");
    }
    ++starts;
    const uint64_t id = ++next_;
    live[id] = {intervalMs, &target, thread};
    everStarted[id] = &target;
    started_on_[id] = thread;
    return id;
  }
  void KillTimer(uint64_t timer) override {
    std::lock_guard lock(mutex_);
    killed.push_back(timer);
    live.erase(timer);
  }
  uint64_t CurrentThreadId() override { return thread; }

  // From now on a tick of a timer started on `threadId` is a timer message in that thread's
  // queue, and only the queue's dispatch runs it, as SetTimer's WM_TIMER does.
  void RouteTicks(uint64_t threadId, FakeMessageQueue& queue) {
    routed_[threadId] = &queue;
    queue.onDispatch = [this](const QueuedMessage& m) {
      if (m.message == TimerMessage) {
        Deliver(m.wParam);
      }
    };
  }
  static constexpr uint32_t TimerMessage = 0x0113;  // WM_TIMER

  // A tick of that platform timer, as its thread's message would deliver it; a killed timer's
  // message that was already queued still arrives.
  void Fire(uint64_t timer) {
    uint64_t owner = 0;
    {
      std::lock_guard lock(mutex_);
      owner = started_on_.at(timer);
    }
    const auto route = routed_.find(owner);
    if (route == routed_.end()) {
      Deliver(timer);
    } else {
      route->second->PostThreadMessage(TimerMessage, timer);
    }
  }
  // Ticks of every live timer.
  void FireAll() {
    std::map<uint64_t, Live> copy;
    {
      std::lock_guard lock(mutex_);
      copy = live;
    }
    for (auto& [id, t] : copy) {
      Fire(id);
    }
  }
  size_t LiveCount() {
    std::lock_guard lock(mutex_);
    return live.size();
  }

 private:
  void Deliver(uint64_t timer) {
    TimerTarget* target = nullptr;
    {
      std::lock_guard lock(mutex_);
      target = everStarted.at(timer);
    }
    target->TimerTick(timer);
  }

  std::mutex mutex_;
  uint64_t next_ = 0;
  std::map<uint64_t, uint64_t> started_on_;
  std::map<uint64_t, FakeMessageQueue*> routed_;
};

// Folders and files as set up by the test; any other path is what Program Files and its files
// are: owned by the Administrators, SYSTEM full, Users read.
class FakeFolderSecurity : public FolderSecurityPort {
 public:
  std::vector<AccessEntry> entries{{AccessEntry::Kind::Allow, 0x3, 0x1F01FF, u"S-1-5-18"},
                                   {AccessEntry::Kind::Allow, 0x3, 0x1200A9, u"S-1-5-32-545"}};
  std::map<std::u16string, std::optional<PathSecurity>> paths;  // nothing: no such path
  std::vector<std::u16string> asked;
  std::u16string account = u"S-1-5-21-1-2-3-500";
  std::optional<PathSecurity> Inspect(std::u16string_view path) override {
    asked.emplace_back(path);
    if (const auto set = paths.find(std::u16string(path)); set != paths.end()) {
      return set->second;
    }
    return PathSecurity{false, u"S-1-5-32-544", entries};
  }
  std::optional<bool> IsReparsePoint(std::u16string_view path) override {
    const std::optional<PathSecurity> found = Inspect(path);
    return found ? std::optional(found->reparsePoint) : std::nullopt;
  }
  std::u16string CurrentAccount() override { return account; }
};

// Registered event sources: name and message file.
class FakeEventSources : public EventSourcePort {
 public:
  std::map<std::u16string, std::u16string> sources;
  void RegisterSource(std::u16string_view source, std::u16string_view messageFile) override {
    sources[std::u16string(source)] = std::u16string(messageFile);
  }
  void RemoveSource(std::u16string_view source) override { sources.erase(std::u16string(source)); }
};
