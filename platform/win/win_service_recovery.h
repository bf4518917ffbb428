#pragma once

#include "platform/service_recovery.h"

namespace gandry {

// Failure actions through ChangeServiceConfig2A and QueryServiceConfig2A (the actions and the
// failure-actions flag).
class WinServiceRecovery final : public ServiceRecovery {
 public:
  Result<FailureActions> Query(const std::string& name) override;
  Status Set(const std::string& name, const FailureActions& actions) override;
};

}  // namespace gandry
