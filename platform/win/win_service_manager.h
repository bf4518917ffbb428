#pragma once

#include "platform/service_manager.h"

namespace gandry {

// The local service control manager.
class WinServiceManager final : public ServiceManager {
 public:
  Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                              ServiceAccess access) override;
  Result<std::unique_ptr<ServiceWatch>> Watch(const std::string& name,
                                              std::function<void(ServiceEvent)> on_event) override;
};

}  // namespace gandry
