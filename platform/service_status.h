#pragma once

#include <cstdint>

namespace gandry {

// The platform's service-status record, field for field.
struct ServiceStatusRecord {
  std::uint32_t service_type = 0;
  std::uint32_t current_state = 0;
  std::uint32_t controls_accepted = 0;
  std::uint32_t win32_exit_code = 0;
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
