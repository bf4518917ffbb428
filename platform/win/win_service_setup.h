#pragma once

#include "platform/service_setup.h"

namespace gandry {

// Registrations through advapi32: CreateServiceA, ChangeServiceConfigA and ChangeServiceConfig2A,
// QueryServiceConfigA and QueryServiceConfig2A, DeleteService.
class WinServiceSetup final : public ServiceSetup {
 public:
  Result<ServiceRegistration> Query(const std::string& name) override;
  Status Create(const std::string& name, const ServiceRegistration& registration) override;
  Status Change(const std::string& name, const ServiceRegistration& registration) override;
  Status SetDescription(const std::string& name, const std::string& description) override;
  Status Delete(const std::string& name) override;
};

}  // namespace gandry
