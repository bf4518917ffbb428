#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/service_manager.h"

namespace gandry {

// An in-memory service manager. Each service has a state and a few scripted behaviours; every
// call is counted. Thread-safe, since monitors call it from their own threads.
class FakeServiceManager final : public ServiceManager {
 public:
  struct Service {
    std::uint32_t state = 1;
    bool start_fails = false;         // a start request leaves the service stopped
    bool stop_refused = false;        // the stop control is refused
    int start_pending_polls = 0;      // queries answered with start pending after a start
    bool hang_start_pending = false;  // stays start pending for good after a start
    int stop_pending_polls = 0;       // queries answered with stop pending after a stop
    int stop_ack_polls = 0;           // queries still answered with running after an accepted stop
    bool query_fails = false;
    bool open_throws = false;  // opening it throws, as an allocation failure would
    std::uint32_t wait_hint_ms = 0;
    std::uint32_t check_point = 0;
    // Counters.
    int opens = 0;
    int starts = 0;
    int stops = 0;
    int queries = 0;
    std::uint32_t last_access = 0;
  };

  void Add(const std::string& name, std::uint32_t state) {
    std::lock_guard lock(mutex_);
    services_[name].state = state;
  }
  // Runs `change` on the named service under the fake's lock.
  void Modify(const std::string& name, const std::function<void(Service&)>& change) {
    std::lock_guard lock(mutex_);
    change(services_[name]);
  }
  Service Get(const std::string& name) {
    std::lock_guard lock(mutex_);
    return services_[name];
  }
  void SetManagerFails(bool fails) {
    std::lock_guard lock(mutex_);
    manager_fails_ = fails;
  }

  std::unique_ptr<OpenedService> Open(const std::string& name, std::uint32_t access) override {
    std::lock_guard lock(mutex_);
    auto it = services_.find(name);
    if (manager_fails_ || it == services_.end()) {
      return nullptr;
    }
    if (it->second.open_throws) {
      throw std::runtime_error("cannot open " + name);
    }
    ++it->second.opens;
    it->second.last_access = access;
    return std::make_unique<Opened>(*this, name);
  }

 private:
  class Opened final : public OpenedService {
   public:
    Opened(FakeServiceManager& owner, std::string name) : owner_(owner), name_(std::move(name)) {}

    bool Start() override {
      std::lock_guard lock(owner_.mutex_);
      Service& s = owner_.services_[name_];
      ++s.starts;
      if (s.state != 1 || s.start_fails) {
        return false;
      }
      s.state = (s.hang_start_pending || s.start_pending_polls > 0) ? 2 : 4;
      pending_left_ = s.start_pending_polls;
      return true;
    }

    bool SendStop() override {
      std::lock_guard lock(owner_.mutex_);
      Service& s = owner_.services_[name_];
      ++s.stops;
      if ((s.state != 4 && s.state != 7) || s.stop_refused) {
        return false;
      }
      unacknowledged_stop_ = s.stop_ack_polls;
      if (unacknowledged_stop_ == 0) {
        s.state = s.stop_pending_polls > 0 ? 3 : 1;
      }
      pending_left_ = s.stop_pending_polls;
      return true;
    }

    std::optional<ServiceStatus> Query() override {
      std::lock_guard lock(owner_.mutex_);
      Service& s = owner_.services_[name_];
      ++s.queries;
      if (s.query_fails) {
        return std::nullopt;
      }
      if (unacknowledged_stop_ > 0 && --unacknowledged_stop_ == 0) {
        s.state = s.stop_pending_polls > 0 ? 3 : 1;
      } else if ((s.state == 2 && !s.hang_start_pending) || s.state == 3) {
        if (pending_left_ > 0) {
          --pending_left_;
          ++s.check_point;
        } else {
          s.state = s.state == 2 ? 4 : 1;
        }
      }
      return ServiceStatus{s.state, s.check_point, s.wait_hint_ms};
    }

   private:
    FakeServiceManager& owner_;
    std::string name_;
    int pending_left_ = 0;
    int unacknowledged_stop_ = 0;
  };

  std::mutex mutex_;
  std::map<std::string, Service> services_;
  bool manager_fails_ = false;
};

}  // namespace gandry
