#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/result.h"

namespace gandry {

// A service's current state. The values are the service manager's own numbers, so that logs
// and tests can name them; kUnknown stands for a state that could not be obtained.
enum class ServiceState : std::uint8_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
  kContinuePending = 5,
  kPausePending = 6,
  kPaused = 7,
  kUnknown = 255,
};

// A service's status: its state, the progress of a pending state, and how its last run ended.
struct ServiceStatus {
  ServiceState state = ServiceState::kUnknown;
  std::uint32_t check_point = 0;   // moves on while a pending state makes progress
  std::uint32_t wait_hint_ms = 0;  // how long the service expects its next step to take
  std::uint32_t exit_code = 0;     // the system's error code of its last stop
  std::uint32_t service_exit_code = 0;
  bool own_exit_code = false;    // exit_code says that service_exit_code is the service's own
  std::uint32_t process_id = 0;  // 0 while it has no process
  bool own_process = false;      // its type is a process of its own, never shared with others
};

// A control sent to a running service.
enum class ControlCode : std::uint8_t {
  kStop,
  kPause,
  kContinue,
  kParamChange,  // its settings have changed: read them again
};

// What a service is opened for. It is opened with the rights for that and no more, so that an
// account allowed to query but not to control a service can still query it.
enum class ServiceAccess : std::uint8_t {
  kQuery,
  kQueryAndStart,
  kQueryAndStop,
  kStart,
  kStop,
  kPauseContinue,  // pause, continue and param change
};

// One opened service together with the manager it was opened through; destroying it closes
// both.
class OpenedService {
 public:
  virtual ~OpenedService() = default;
  virtual Result<ServiceStatus> Query() = 0;
  virtual Status Start() = 0;
  virtual Status Control(ControlCode control) = 0;
};

// What a watched service did, or what became of the watch.
enum class ServiceEvent : std::uint8_t {
  kStopped,      // it entered the stopped state (or was stopped when the watch began)
  kDeleted,      // it is marked for deletion; the watch has ended and reports nothing more
  kWatchFailed,  // the platform cannot tell any more; the watch has ended and reports nothing more
};

// One report of a watch.
struct ServiceNotice {
  ServiceEvent event = ServiceEvent::kStopped;
  std::uint32_t error = 0;  // for kWatchFailed: the system's error code, to be shown
};

// A subscription to one service's status changes. Destroying it ends the subscription: once
// the destructor has returned, its callback is never called again.
class ServiceWatch {
 public:
  virtual ~ServiceWatch() = default;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Opens the local service manager, then the named service for `access`.
  virtual Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                                      ServiceAccess access) = 0;
  // Subscribes to the named service's status changes: `on_event` runs on a thread of the
  // platform's, must return at once, and must not destroy the watch. Fails when the service
  // cannot be opened, or with ErrorKind::kNotSupported when the platform cannot tell.
  virtual Result<std::unique_ptr<ServiceWatch>> Watch(
      const std::string& name, std::function<void(const ServiceNotice&)> on_event) = 0;
  // The active services that depend on the named one, directly or through others, in the
  // platform's order: each comes before the services it depends on, so stopping them in this
  // order and starting them in the reverse one follows their dependencies.
  virtual Result<std::vector<std::string>> ActiveDependents(const std::string& name) = 0;
  // The active services whose status reports `process_id` as their process.
  virtual Result<std::vector<std::string>> ServicesInProcess(std::uint32_t process_id) = 0;
  // Ends the process `process_id` at once, but only while the named service still reports it
  // as its own: a later process that happens to take the same id is never ended. Fails with
  // ErrorKind::kNotRunning when the service is in that process no longer.
  virtual Status EndServiceProcess(const std::string& name, std::uint32_t process_id) = 0;
};

// What an administrator asks of a service by name.
enum class ServiceCommand : std::uint8_t {
  kStart,
  kStop,
  kPause,
  kContinue,
  kParamChange,
};

// Opens the named service for a query and queries it.
Result<ServiceStatus> QueryService(ServiceManager& services, const std::string& name);
// Opens the named service with the one right `command` needs, and sends it.
Status SendCommand(ServiceManager& services, const std::string& name, ServiceCommand command);

}  // namespace gandry
