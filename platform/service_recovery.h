#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/result.h"

namespace gandry {

// What the service manager does when a service fails: one restart per failure in a row, after
// the delay given for it (the last one repeats), the count going back to zero after
// `reset_after` without failures.
struct FailureActions {
  std::vector<std::chrono::milliseconds> restart_delays;
  std::chrono::seconds reset_after{0};
  // A stop that the service reports with an error exit code counts as a failure too, and not
  // only the end of its process without a stop.
  bool on_error_stop = false;
};

class ServiceRecovery {
 public:
  virtual ~ServiceRecovery() = default;
  virtual Result<FailureActions> Query(const std::string& name) = 0;
  virtual Status Set(const std::string& name, const FailureActions& actions) = 0;
};

}  // namespace gandry
