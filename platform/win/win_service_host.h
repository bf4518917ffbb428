#pragma once

#include "platform/service_host.h"

namespace gandry {

// The service control dispatcher of advapi32. Its callbacks take no context, so the one
// service of the process is reached through process-wide state: use one object at a time.
class WinServiceHost final : public ServiceHost {
 public:
  ServiceStatusReporter& reporter() override;
  Status Dispatch(const std::string& name, ServiceHandler& handler) override;
};

}  // namespace gandry
