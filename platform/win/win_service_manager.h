#pragma once

#include "platform/service_manager.h"

namespace gandry {

// The local service control manager.
class WinServiceManager final : public ServiceManager {
 public:
  std::unique_ptr<OpenedService> Open(const std::string& name, std::uint32_t access) override;
};

}  // namespace gandry
