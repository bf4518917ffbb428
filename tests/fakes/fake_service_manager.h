#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/service_manager.h"
#include "platform/service_recovery.h"
#include "platform/service_setup.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// An in-memory service manager, with the registrations and recovery actions an administrator
// sets through `setup` and `recovery`. Each service has a state and a few scripted behaviours;
// every call is counted. A command that Windows answers with a pending state enters it; the
// next queries answer with it, the check point moving on each time (unless it hangs), then
// the service is in its new state. A pending state of no queries is skipped. Watches are told
// whenever a service's state becomes stopped, by whatever means, and at once when it is stopped
// as the watch begins, as the platform does. A stop is refused while a service that depends on
// it runs, and ending a service's process stops every service in it at once, as on Windows
// (Wine is kinder on both counts). Errors carry the codes Windows gives.
// Thread-safe, since monitors call it from their own threads; the public members and the
// references that Add and Find give are for a test's own thread, while no other runs.
class FakeServiceManager final : public ServiceManager {
 public:
  // A start that is taken, then a run of `polls` queries, then a stop with these exit codes.
  struct StopAfterStart {
    int polls = 0;
    std::uint32_t exit_code = 0;
    std::uint32_t service_exit_code = 0;
  };

  struct Service {
    ServiceState state = ServiceState::kStopped;
    std::uint32_t wait_hint_ms = 0;
    std::uint32_t check_point = 0;
    std::uint32_t exit_code = 0;
    std::uint32_t service_exit_code = 0;
    ServiceRegistration registration;
    std::string description;
    std::optional<FailureActions> failure_actions;
    bool marked_for_delete = false;  // it goes at the first query that finds it stopped
    std::uint32_t process_id = 0;    // of its last start
    std::vector<std::string> depends_on;
    bool shares_process = false;  // registered to share its process with other services

    // Scripted behaviour.
    bool start_fails = false;  // a start request is refused and leaves the service stopped
    bool start_dies = false;   // a start is taken, but ends in stopped instead of running
    std::optional<StopAfterStart> stops_after_start;
    // Controls other than a start, of a service that is not stopped, are refused with this
    // error code (0 for none), as Windows refuses them: win_error::kInvalidServiceControl for a
    // service that takes no stop, kDependentServicesRunning for one whose dependents run.
    std::uint32_t refuse = 0;
    int start_pending_polls = 0;      // queries answered with start pending after a start
    int stop_pending_polls = 0;       // queries answered with stop pending after a stop
    int control_pending_polls = 0;    // the same for pause and continue
    bool hang_start_pending = false;  // stays start pending for good after a start
    bool hang_stop_pending = false;   // stays stop pending for good after a stop
    int stop_ack_polls = 0;           // queries still answered with running after an accepted stop
    bool query_fails = false;
    bool open_throws = false;  // opening it throws, as an allocation failure would
    // Asked at each open, under the fake's lock: true makes the open fail, as a busy manager may.
    std::function<bool(ServiceAccess)> open_fails;
    bool watch_fails = false;
    std::function<void()> on_start;  // called under the fake's lock after each accepted start

    // Counters.
    int opens = 0;
    int starts = 0;  // start requests, taken or not
    int stops = 0;   // stop controls, taken or not
    int queries = 0;
    int watches = 0;  // subscriptions made
    int processes_ended = 0;
    // As Wine's service manager: the services of an ended process keep the status they had.
    bool keeps_status_after_end = false;
    std::vector<ServiceCommand> commands;  // the ones taken, in order
    std::optional<ServiceAccess> last_access;

    // Every pending state lasts `polls` queries.
    void PendFor(int polls) {
      start_pending_polls = stop_pending_polls = control_pending_polls = polls;
    }

    // Internal: where a pending state leads when not where it usually does, and how many
    // queries it still lasts.
    std::optional<ServiceState> next;
    int pending_left = 0;
    int unacknowledged_stop = 0;
    int running_left = -1;
  };

  Service& Add(const std::string& name, ServiceState state) { return Add(name, {}, state); }
  Service& Add(const std::string& name, ServiceRegistration registration = {},
               ServiceState state = ServiceState::kStopped) {
    std::lock_guard lock(mutex_);
    Service& service = services_[name];
    service.registration = std::move(registration);
    service.state = state;
    return service;
  }
  Service* Find(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto it = services_.find(name);
    return it == services_.end() ? nullptr : &it->second;
  }
  // Runs `change` on the named service under the fake's lock.
  void Modify(const std::string& name, const std::function<void(Service&)>& change) {
    std::lock_guard lock(mutex_);
    Service& s = services_[name];
    const ServiceState before = s.state;
    change(s);
    NoteState(name, before);
  }
  Service Get(const std::string& name) {
    std::lock_guard lock(mutex_);
    return services_[name];
  }
  // Tells the service's watches that it is being deleted; they report nothing afterwards.
  void Delete(const std::string& name) { EndWatches(name, {ServiceEvent::kDeleted}); }
  // Tells the service's watches that they cannot go on, with `error`; they report nothing
  // afterwards.
  void FailWatches(const std::string& name, std::uint32_t error) {
    EndWatches(name, {ServiceEvent::kWatchFailed, error});
  }
  // Subscriptions that are still open.
  int open_watches() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(watches_.size());
  }

  std::optional<std::uint32_t> fail_all;        // every call fails with this error code
  std::optional<std::uint32_t> recovery_fails;  // setting recovery actions fails with this
  // Every start and stop taken by any service, as "start NAME" or "stop NAME", in order; read it
  // while no other thread runs.
  std::vector<std::string> journal;

  Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                              ServiceAccess access) override {
    std::lock_guard lock(mutex_);
    if (auto error = Check(name)) {
      return *error;
    }
    Service& s = services_[name];
    if (s.open_throws) {
      throw std::runtime_error("cannot open " + name);
    }
    if (s.open_fails && s.open_fails(access)) {
      return WinError(win_error::kRpcServerTooBusy);
    }
    ++s.opens;
    s.last_access = access;
    return std::unique_ptr<OpenedService>(std::make_unique<Opened>(*this, name));
  }

  Result<std::unique_ptr<ServiceWatch>> Watch(
      const std::string& name, std::function<void(const ServiceNotice&)> on_event) override {
    std::lock_guard lock(mutex_);
    if (auto error = Check(name)) {
      return *error;
    }
    Service& s = services_[name];
    if (s.watch_fails) {
      return WinError(win_error::kCallNotImplemented);
    }
    ++s.watches;
    auto watch = std::make_unique<Subscription>(*this, name, std::move(on_event));
    watches_.push_back(watch.get());
    if (s.state == ServiceState::kStopped) {
      watch->on_event({ServiceEvent::kStopped});
    }
    return std::unique_ptr<ServiceWatch>(std::move(watch));
  }

  Result<std::vector<std::string>> ActiveDependents(const std::string& name) override {
    std::lock_guard lock(mutex_);
    if (auto error = Check(name)) {
      return *error;
    }
    std::vector<std::string> dependents;
    CollectDependents(name, dependents);
    std::erase_if(dependents, [this](const std::string& dependent) {
      return services_[dependent].state == ServiceState::kStopped;
    });
    return dependents;
  }

  Result<std::vector<std::string>> ServicesInProcess(std::uint32_t process_id) override {
    std::lock_guard lock(mutex_);
    if (fail_all) {
      return WinError(*fail_all);
    }
    std::vector<std::string> names;
    for (const auto& [name, s] : services_) {
      if (s.state != ServiceState::kStopped && s.process_id == process_id) {
        names.push_back(name);
      }
    }
    return names;
  }

  Status EndServiceProcess(const std::string& name, std::uint32_t process_id) override {
    std::lock_guard lock(mutex_);
    if (auto error = Check(name)) {
      return *error;
    }
    const Service& target = services_[name];
    if (target.state == ServiceState::kStopped || target.process_id != process_id) {
      return ErrorOf(ErrorKind::kNotRunning);
    }
    for (auto& [other, s] : services_) {
      if (s.state != ServiceState::kStopped && s.process_id == process_id) {
        const ServiceState before = s.state;
        ++s.processes_ended;
        if (s.keeps_status_after_end) {
          continue;
        }
        s.state = ServiceState::kStopped;
        s.exit_code = win_error::kProcessAborted;
        s.next.reset();
        s.check_point = 0;
        NoteState(other, before);
      }
    }
    return {};
  }

  class Setup final : public ServiceSetup {
   public:
    explicit Setup(FakeServiceManager& owner) : owner_(owner) {}
    Result<ServiceRegistration> Query(const std::string& name) override {
      std::lock_guard lock(owner_.mutex_);
      if (auto error = owner_.Check(name)) {
        return *error;
      }
      return owner_.services_[name].registration;
    }
    Status Create(const std::string& name, const ServiceRegistration& registration) override {
      std::lock_guard lock(owner_.mutex_);
      if (owner_.fail_all) {
        return WinError(*owner_.fail_all);
      }
      if (owner_.services_.contains(name)) {
        return WinError(win_error::kServiceExists);
      }
      owner_.services_[name].registration = registration;
      return {};
    }
    Status Change(const std::string& name, const ServiceRegistration& registration) override {
      return Edit(name, [&](Service& s) { s.registration = registration; });
    }
    Status SetDescription(const std::string& name, const std::string& description) override {
      return Edit(name, [&](Service& s) { s.description = description; });
    }
    Status Delete(const std::string& name) override {
      std::lock_guard lock(owner_.mutex_);
      if (auto error = owner_.Check(name)) {
        return *error;
      }
      if (owner_.services_[name].state == ServiceState::kStopped) {
        owner_.services_.erase(name);
      } else {
        owner_.services_[name].marked_for_delete = true;
      }
      return {};
    }

   private:
    Status Edit(const std::string& name, const std::function<void(Service&)>& change) {
      std::lock_guard lock(owner_.mutex_);
      if (auto error = owner_.Check(name)) {
        return *error;
      }
      change(owner_.services_[name]);
      return {};
    }
    FakeServiceManager& owner_;
  };

  class Recovery final : public ServiceRecovery {
   public:
    explicit Recovery(FakeServiceManager& owner) : owner_(owner) {}
    Result<FailureActions> Query(const std::string& name) override {
      std::lock_guard lock(owner_.mutex_);
      if (auto error = owner_.Check(name)) {
        return *error;
      }
      return owner_.services_[name].failure_actions.value_or(FailureActions{});
    }
    Status Set(const std::string& name, const FailureActions& actions) override {
      std::lock_guard lock(owner_.mutex_);
      if (auto error = owner_.Check(name)) {
        return *error;
      }
      if (owner_.recovery_fails) {
        return WinError(*owner_.recovery_fails);
      }
      owner_.services_[name].failure_actions = actions;
      return {};
    }

   private:
    FakeServiceManager& owner_;
  };

  Setup setup{*this};
  Recovery recovery{*this};

 private:
  struct Subscription final : public ServiceWatch {
    Subscription(FakeServiceManager& owner_in, std::string name_in,
                 std::function<void(const ServiceNotice&)> on_event_in)
        : owner(owner_in), name(std::move(name_in)), on_event(std::move(on_event_in)) {}
    ~Subscription() override {
      std::lock_guard lock(owner.mutex_);
      std::erase(owner.watches_, this);
    }
    FakeServiceManager& owner;
    const std::string name;
    const std::function<void(const ServiceNotice&)> on_event;
    bool live = true;  // guarded by the owner's mutex
  };

  class Opened final : public OpenedService {
   public:
    Opened(FakeServiceManager& owner, std::string name) : owner_(owner), name_(std::move(name)) {}

    Result<ServiceStatus> Query() override {
      std::lock_guard lock(owner_.mutex_);
      Service* s = owner_.Live(name_);
      if (s == nullptr || (++s->queries, s->query_fails)) {
        return WinError(win_error::kInvalidHandle);
      }
      const ServiceState before = s->state;
      owner_.Advance(*s);
      owner_.NoteState(name_, before);
      const ServiceStatus status{s->state,
                                 s->check_point,
                                 s->wait_hint_ms,
                                 s->exit_code,
                                 s->service_exit_code,
                                 s->exit_code == win_error::kServiceSpecificError,
                                 s->state == ServiceState::kStopped ? 0 : s->process_id,
                                 !s->shares_process};
      if (s->state == ServiceState::kStopped && s->marked_for_delete) {
        owner_.services_.erase(name_);
      }
      return status;
    }

    Status Start() override {
      std::lock_guard lock(owner_.mutex_);
      Service* s = owner_.Live(name_);
      if (s == nullptr) {
        return WinError(win_error::kInvalidHandle);
      }
      ++s->starts;
      if (s->state != ServiceState::kStopped) {
        return ErrorOf(ErrorKind::kAlreadyRunning);
      }
      if (s->start_fails) {
        return ErrorOf(ErrorKind::kTimedOut);
      }
      s->commands.push_back(ServiceCommand::kStart);
      owner_.journal.push_back("start " + name_);
      s->process_id = ++owner_.last_process_id_;
      Enter(*s, ServiceState::kStartPending, s->start_pending_polls,
            s->start_dies ? std::optional(ServiceState::kStopped) : std::nullopt);
      s->running_left = s->stops_after_start ? s->stops_after_start->polls : -1;
      if (s->on_start) {
        s->on_start();
      }
      return {};
    }

    Status Control(ControlCode control) override {
      std::lock_guard lock(owner_.mutex_);
      Service* s = owner_.Live(name_);
      if (s == nullptr) {
        return WinError(win_error::kInvalidHandle);
      }
      if (control == ControlCode::kStop) {
        ++s->stops;
      }
      if (s->state == ServiceState::kStopped) {
        return ErrorOf(ErrorKind::kNotRunning);
      }
      if (s->refuse != 0) {
        return WinError(s->refuse);
      }
      if (control == ControlCode::kStop && owner_.DependentsRun(name_)) {
        return WinError(win_error::kDependentServicesRunning);
      }
      if (s->state != ServiceState::kRunning && s->state != ServiceState::kPaused) {
        return WinError(win_error::kServiceCannotAcceptControl);
      }
      switch (control) {
        case ControlCode::kStop:
          s->commands.push_back(ServiceCommand::kStop);
          owner_.journal.push_back("stop " + name_);
          s->unacknowledged_stop = s->stop_ack_polls;
          if (s->unacknowledged_stop == 0) {
            owner_.EnterStop(name_, *s);
          }
          break;
        case ControlCode::kPause:
          s->commands.push_back(ServiceCommand::kPause);
          Enter(*s, ServiceState::kPausePending, s->control_pending_polls);
          break;
        case ControlCode::kContinue:
          s->commands.push_back(ServiceCommand::kContinue);
          Enter(*s, ServiceState::kContinuePending, s->control_pending_polls);
          break;
        case ControlCode::kParamChange:
          s->commands.push_back(ServiceCommand::kParamChange);
          break;
      }
      return {};
    }

   private:
    FakeServiceManager& owner_;
    std::string name_;
  };

  // Caller holds mutex_. The error that fails every call on `name`, if any.
  std::optional<SystemError> Check(const std::string& name) {
    if (fail_all) {
      return WinError(*fail_all);
    }
    if (!services_.contains(name)) {
      return ErrorOf(ErrorKind::kNoSuchService);
    }
    return std::nullopt;
  }

  // Caller holds mutex_. Whether a service that depends on `name` is not stopped.
  bool DependentsRun(const std::string& name) {
    return std::ranges::any_of(services_, [&name](const auto& entry) {
      return entry.second.state != ServiceState::kStopped &&
             std::ranges::find(entry.second.depends_on, name) != entry.second.depends_on.end();
    });
  }

  // Caller holds mutex_. Appends the services that depend on `name`, each after those that
  // depend on it in turn, as Windows lists them.
  void CollectDependents(const std::string& name, std::vector<std::string>& out) {
    for (const auto& [other, s] : services_) {
      if (std::ranges::find(s.depends_on, name) != s.depends_on.end() &&
          std::ranges::find(out, other) == out.end()) {
        CollectDependents(other, out);
        out.push_back(other);
      }
    }
  }

  // Caller holds mutex_. The service an opened handle refers to; null once it is deleted.
  Service* Live(const std::string& name) {
    auto it = services_.find(name);
    return it == services_.end() ? nullptr : &it->second;
  }

  static bool IsPending(ServiceState state) {
    return state == ServiceState::kStartPending || state == ServiceState::kStopPending ||
           state == ServiceState::kPausePending || state == ServiceState::kContinuePending;
  }
  static bool Hangs(const Service& s) {
    return (s.state == ServiceState::kStartPending && s.hang_start_pending) ||
           (s.state == ServiceState::kStopPending && s.hang_stop_pending);
  }
  // The end of the pending state the service is in.
  static void Finish(Service& s) {
    switch (s.state) {
      case ServiceState::kStartPending:
      case ServiceState::kContinuePending:
        s.state = ServiceState::kRunning;
        break;
      case ServiceState::kStopPending:
        s.state = ServiceState::kStopped;
        break;
      case ServiceState::kPausePending:
        s.state = ServiceState::kPaused;
        break;
      default:
        break;
    }
    s.state = s.next.value_or(s.state);
    s.next.reset();
    s.check_point = 0;
  }
  // Enters `pending` for `polls` queries, then where it leads (or `after`).
  static void Enter(Service& s, ServiceState pending, int polls,
                    std::optional<ServiceState> after = std::nullopt) {
    s.state = pending;
    s.pending_left = polls;
    s.next = after;
    if (polls == 0 && !Hangs(s)) {
      Finish(s);
    }
  }

  // Caller holds mutex_. A stop taken by the service.
  void EnterStop(const std::string& name, Service& s) {
    const ServiceState before = s.state;
    Enter(s, ServiceState::kStopPending, s.stop_pending_polls);
    NoteState(name, before);
  }

  // Caller holds mutex_. What one query finds has happened since the last.
  static void Advance(Service& s) {
    if (s.unacknowledged_stop > 0) {
      if (--s.unacknowledged_stop == 0) {
        Enter(s, ServiceState::kStopPending, s.stop_pending_polls);
      }
    } else if (IsPending(s.state) && !Hangs(s)) {
      if (s.pending_left > 0) {
        --s.pending_left;
        ++s.check_point;
      } else {
        Finish(s);
      }
    } else if (s.state == ServiceState::kRunning && s.running_left >= 0 && s.running_left-- == 0) {
      s.state = ServiceState::kStopped;
      s.exit_code = s.stops_after_start->exit_code;
      s.service_exit_code = s.stops_after_start->service_exit_code;
    }
  }

  // Caller holds mutex_.
  void NoteState(const std::string& name, ServiceState before) {
    if (before == ServiceState::kStopped || services_[name].state != ServiceState::kStopped) {
      return;
    }
    for (Subscription* watch : watches_) {
      if (watch->name == name && watch->live) {
        watch->on_event({ServiceEvent::kStopped});
      }
    }
  }

  void EndWatches(const std::string& name, const ServiceNotice& notice) {
    std::lock_guard lock(mutex_);
    for (Subscription* watch : watches_) {
      if (watch->name == name && watch->live) {
        watch->live = false;
        watch->on_event(notice);
      }
    }
  }

  std::mutex mutex_;
  std::map<std::string, Service> services_;
  std::vector<Subscription*> watches_;
  std::uint32_t last_process_id_ = 1000;
};

}  // namespace gandry
