#pragma once

#include <cstdint>

#include "platform/service_manager.h"

namespace gandry {

// The control requests a service says it takes.
struct AcceptedControls {
  bool stop = false;
  bool pause_continue = false;
  bool shutdown = false;      // the notice that the system is shutting down
  bool param_change = false;  // the notice that the service's settings have changed
};

// What a service tells the service manager about itself. A service that ends through an
// error says so with an exit code of its own (not 0).
struct ServiceStatusRecord {
  ServiceState state = ServiceState::kStopped;
  AcceptedControls accepts;
  std::uint32_t service_exit_code = 0;
  std::uint32_t check_point = 0;
  std::uint32_t wait_hint_ms = 0;
};

// Reports the service's status to the service manager.
class ServiceStatusReporter {
 public:
  virtual ~ServiceStatusReporter() = default;
  virtual void Report(const ServiceStatusRecord& status) = 0;
};

}  // namespace gandry
