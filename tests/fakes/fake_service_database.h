#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/service_commands.h"
#include "platform/service_recovery.h"
#include "platform/service_setup.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// The service manager's database as an administrator sees it: registrations, descriptions,
// recovery actions and states, reached through `setup`, `recovery` and `commands`.
// A command moves a service into its pending state; the next `pending_queries` queries answer
// with that, its check point moving on each time (unless it hangs), then the service is in its
// new state. Not thread-safe: the manager is one thread.
class FakeServiceDatabase {
 public:
  struct Service {
    ServiceRegistration registration;
    std::string description;
    std::optional<FailureActions> failure_actions;
    ServiceRunState run{ServiceState::kStopped, 0, 0};
    bool marked_for_delete = false;
    // Scripted behaviour.
    int pending_queries = 0;
    bool start_fails = false;  // stopped again after start pending
    bool stop_hangs = false;   // stays stop pending, without progress
    // After a start: running for this many queries, then stopped with these exit codes.
    std::optional<std::pair<int, ServiceRunState>> stops_after_start;
    std::optional<std::uint32_t> refuse;   // every command fails with this error
    std::vector<ServiceCommand> commands;  // the accepted ones, in order
    // Internal: where a pending state leads, and how many queries it still lasts.
    std::optional<ServiceState> next;
    int pending_left = 0;
    int running_left = -1;
  };

  Service& Add(const std::string& name, ServiceRegistration registration = {},
               ServiceState state = ServiceState::kStopped) {
    Service& service = services_[name];
    service.registration = std::move(registration);
    service.run.state = state;
    return service;
  }
  Service* Find(const std::string& name) {
    auto it = services_.find(name);
    return it == services_.end() ? nullptr : &it->second;
  }

  std::optional<std::uint32_t> fail_all;        // every call fails with this error
  std::optional<std::uint32_t> recovery_fails;  // setting failure actions fails with this

  class Setup final : public ServiceSetup {
   public:
    explicit Setup(FakeServiceDatabase& db) : db_(db) {}
    Result<ServiceRegistration> Query(const std::string& name) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      return db_.services_[name].registration;
    }
    Status Create(const std::string& name, const ServiceRegistration& registration) override {
      if (db_.fail_all) {
        return WinError(*db_.fail_all);
      }
      if (db_.services_.contains(name)) {
        return WinError(win_error::kServiceExists);
      }
      db_.services_[name].registration = registration;
      return {};
    }
    Status Change(const std::string& name, const ServiceRegistration& registration) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      db_.services_[name].registration = registration;
      return {};
    }
    Status SetDescription(const std::string& name, const std::string& description) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      db_.services_[name].description = description;
      return {};
    }
    Status Delete(const std::string& name) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      Service& service = db_.services_[name];
      if (service.run.state == ServiceState::kStopped) {
        db_.services_.erase(name);
      } else {
        service.marked_for_delete = true;
      }
      return {};
    }

   private:
    FakeServiceDatabase& db_;
  };

  class Recovery final : public ServiceRecovery {
   public:
    explicit Recovery(FakeServiceDatabase& db) : db_(db) {}
    Result<FailureActions> Query(const std::string& name) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      return db_.services_[name].failure_actions.value_or(FailureActions{});
    }
    Status Set(const std::string& name, const FailureActions& actions) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      if (db_.recovery_fails) {
        return WinError(*db_.recovery_fails);
      }
      db_.services_[name].failure_actions = actions;
      return {};
    }

   private:
    FakeServiceDatabase& db_;
  };

  class Commands final : public ServiceCommands {
   public:
    explicit Commands(FakeServiceDatabase& db) : db_(db) {}
    Status Send(const std::string& name, ServiceCommand command) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      Service& s = db_.services_[name];
      if (s.refuse) {
        return WinError(*s.refuse);
      }
      const ServiceState state = s.run.state;
      if (command == ServiceCommand::kStart) {
        if (state != ServiceState::kStopped) {
          return ErrorOf(ErrorKind::kAlreadyRunning);
        }
        Move(s, ServiceState::kStartPending,
             s.start_fails ? ServiceState::kStopped : ServiceState::kRunning);
        s.running_left = s.stops_after_start ? s.stops_after_start->first : -1;
      } else if (state == ServiceState::kStopped) {
        return ErrorOf(ErrorKind::kNotRunning);
      } else if (command == ServiceCommand::kStop) {
        Move(s, ServiceState::kStopPending,
             s.stop_hangs ? ServiceState::kStopPending : ServiceState::kStopped);
      } else if (command == ServiceCommand::kPause) {
        Move(s, ServiceState::kPausePending, ServiceState::kPaused);
      } else if (command == ServiceCommand::kContinue) {
        Move(s, ServiceState::kContinuePending, ServiceState::kRunning);
      }
      s.commands.push_back(command);
      return {};
    }
    Result<ServiceRunState> Query(const std::string& name) override {
      if (auto error = db_.Check(name)) {
        return *error;
      }
      Service& s = db_.services_[name];
      if (s.pending_left > 0) {
        --s.pending_left;
        if (!s.stop_hangs) {
          ++s.run.check_point;
        }
      } else if (s.next) {
        s.run.state = *s.next;
        s.run.check_point = 0;
        s.next.reset();
      } else if (s.run.state == ServiceState::kRunning && s.running_left >= 0 &&
                 s.running_left-- == 0) {
        s.run = s.stops_after_start->second;
      }
      const ServiceRunState run = s.run;
      if (run.state == ServiceState::kStopped && s.marked_for_delete) {
        db_.services_.erase(name);
      }
      return run;
    }

   private:
    static void Move(Service& s, ServiceState pending, ServiceState after) {
      s.run.state = pending;
      s.pending_left = s.pending_queries;
      s.next = after;
    }
    FakeServiceDatabase& db_;
  };

  Setup setup{*this};
  Recovery recovery{*this};
  Commands commands{*this};

 private:
  std::optional<SystemError> Check(const std::string& name) {
    if (fail_all) {
      return WinError(*fail_all);
    }
    if (!services_.contains(name)) {
      return ErrorOf(ErrorKind::kNoSuchService);
    }
    return std::nullopt;
  }

  std::map<std::string, Service> services_;
};

}  // namespace gandry
