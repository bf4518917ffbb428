#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/service_manager.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// An in-memory service manager. Each service has a state and a few scripted behaviours; every
// call is counted. Watches are told whenever a service's state becomes stopped, by whatever
// means, and at once when it is stopped as the watch begins, as the platform does.
// Thread-safe, since monitors call it from their own threads.
class FakeServiceManager final : public ServiceManager {
 public:
  struct Service {
    ServiceState state = ServiceState::kStopped;
    bool start_fails = false;  // a start request leaves the service stopped
    // The stop control is refused with this error code, as Windows refuses it: 1052 for a
    // service that takes no stop, 1051 for one whose dependent services run.
    std::uint32_t stop_refusal = 0;
    int start_pending_polls = 0;      // queries answered with start pending after a start
    bool hang_start_pending = false;  // stays start pending for good after a start
    int stop_pending_polls = 0;       // queries answered with stop pending after a stop
    int stop_ack_polls = 0;           // queries still answered with running after an accepted stop
    bool query_fails = false;
    bool open_throws = false;  // opening it throws, as an allocation failure would
    // Asked at each open, under the fake's lock: true makes the open fail, as a busy manager may.
    std::function<bool(ServiceAccess)> open_fails;
    bool watch_fails = false;
    std::function<void()> on_start;  // called under the fake's lock after each accepted start
    std::uint32_t wait_hint_ms = 0;
    std::uint32_t check_point = 0;
    // Counters.
    int opens = 0;
    int starts = 0;
    int stops = 0;
    int queries = 0;
    int watches = 0;  // subscriptions made
    std::optional<ServiceAccess> last_access;
  };

  void Add(const std::string& name, ServiceState state) {
    std::lock_guard lock(mutex_);
    services_[name].state = state;
  }
  // Runs `change` on the named service under the fake's lock.
  void Modify(const std::string& name, const std::function<void(Service&)>& change) {
    std::lock_guard lock(mutex_);
    Service& s = services_[name];
    const ServiceState before = s.state;
    change(s);
    NoteState(name, before);
  }
  // Tells the service's watches that it is being deleted; they report nothing afterwards.
  void Delete(const std::string& name) {
    std::lock_guard lock(mutex_);
    for (auto* watch : watches_) {
      if (watch->name == name && watch->live) {
        watch->live = false;
        watch->on_event({ServiceEvent::kDeleted});
      }
    }
  }
  // Tells the service's watches that they cannot go on, with `error`; they report nothing
  // afterwards.
  void FailWatches(const std::string& name, std::uint32_t error) {
    std::lock_guard lock(mutex_);
    for (auto* watch : watches_) {
      if (watch->name == name && watch->live) {
        watch->live = false;
        watch->on_event({ServiceEvent::kWatchFailed, error});
      }
    }
  }
  // Subscriptions that are still open.
  int open_watches() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(watches_.size());
  }
  Service Get(const std::string& name) {
    std::lock_guard lock(mutex_);
    return services_[name];
  }
  void SetManagerFails(bool fails) {
    std::lock_guard lock(mutex_);
    manager_fails_ = fails;
  }

  Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                              ServiceAccess access) override {
    std::lock_guard lock(mutex_);
    if (manager_fails_) {
      return ErrorOf(ErrorKind::kAccessDenied);
    }
    auto it = services_.find(name);
    if (it == services_.end()) {
      return ErrorOf(ErrorKind::kNoSuchService);
    }
    if (it->second.open_throws) {
      throw std::runtime_error("cannot open " + name);
    }
    if (it->second.open_fails && it->second.open_fails(access)) {
      return WinError(win_error::kRpcServerTooBusy);
    }
    ++it->second.opens;
    it->second.last_access = access;
    return std::unique_ptr<OpenedService>(std::make_unique<Opened>(*this, name));
  }

  Result<std::unique_ptr<ServiceWatch>> Watch(
      const std::string& name, std::function<void(const ServiceNotice&)> on_event) override {
    std::lock_guard lock(mutex_);
    auto it = services_.find(name);
    if (it == services_.end()) {
      return ErrorOf(ErrorKind::kNoSuchService);
    }
    if (it->second.watch_fails) {
      return WinError(win_error::kCallNotImplemented);
    }
    ++it->second.watches;
    auto watch = std::make_unique<Subscription>(*this, name, std::move(on_event));
    watches_.push_back(watch.get());
    if (it->second.state == ServiceState::kStopped) {
      watch->on_event({ServiceEvent::kStopped});
    }
    return std::unique_ptr<ServiceWatch>(std::move(watch));
  }

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

  class Opened final : public OpenedService {
   public:
    Opened(FakeServiceManager& owner, std::string name) : owner_(owner), name_(std::move(name)) {}

    Status Start() override {
      std::lock_guard lock(owner_.mutex_);
      Service& s = owner_.services_[name_];
      ++s.starts;
      if (s.state != ServiceState::kStopped) {
        return ErrorOf(ErrorKind::kAlreadyRunning);
      }
      if (s.start_fails) {
        return ErrorOf(ErrorKind::kTimedOut);
      }
      s.state = (s.hang_start_pending || s.start_pending_polls > 0) ? ServiceState::kStartPending
                                                                    : ServiceState::kRunning;
      pending_left_ = s.start_pending_polls;
      if (s.on_start) {
        s.on_start();
      }
      return {};
    }

    Status SendStop() override {
      std::lock_guard lock(owner_.mutex_);
      Service& s = owner_.services_[name_];
      ++s.stops;
      if (s.state == ServiceState::kStopped) {
        return ErrorOf(ErrorKind::kNotRunning);
      }
      if (s.stop_refusal != 0) {
        return WinError(s.stop_refusal);
      }
      if (s.state != ServiceState::kRunning && s.state != ServiceState::kPaused) {
        return WinError(win_error::kServiceCannotAcceptControl);
      }
      unacknowledged_stop_ = s.stop_ack_polls;
      if (unacknowledged_stop_ == 0) {
        s.state = AfterStop(s);
        owner_.NoteState(name_, ServiceState::kRunning);
      }
      pending_left_ = s.stop_pending_polls;
      return {};
    }

    Result<ServiceStatus> Query() override {
      std::lock_guard lock(owner_.mutex_);
      Service& s = owner_.services_[name_];
      ++s.queries;
      if (s.query_fails) {
        return WinError(win_error::kInvalidHandle);
      }
      const bool starting = s.state == ServiceState::kStartPending;
      const ServiceState before = s.state;
      if (unacknowledged_stop_ > 0 && --unacknowledged_stop_ == 0) {
        s.state = AfterStop(s);
      } else if ((starting && !s.hang_start_pending) || s.state == ServiceState::kStopPending) {
        if (pending_left_ > 0) {
          --pending_left_;
          ++s.check_point;
        } else {
          s.state = starting ? ServiceState::kRunning : ServiceState::kStopped;
        }
      }
      owner_.NoteState(name_, before);
      return ServiceStatus{s.state, s.check_point, s.wait_hint_ms};
    }

   private:
    static ServiceState AfterStop(const Service& s) {
      return s.stop_pending_polls > 0 ? ServiceState::kStopPending : ServiceState::kStopped;
    }

    FakeServiceManager& owner_;
    std::string name_;
    int pending_left_ = 0;
    int unacknowledged_stop_ = 0;
  };

  std::mutex mutex_;
  std::map<std::string, Service> services_;
  std::vector<Subscription*> watches_;
  bool manager_fails_ = false;
};

}  // namespace gandry
