#pragma once

#include "platform/service_manager.h"

namespace gandry {

// The local service control manager.
class WinServiceManager final : public ServiceManager {
 public:
  Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                              ServiceAccess access) override;
};

}  // namespace gandry
