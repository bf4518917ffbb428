#pragma once

#include "platform/service_commands.h"

namespace gandry {

// Commands through StartServiceA and ControlService, states through QueryServiceStatus.
class WinServiceCommands final : public ServiceCommands {
 public:
  Status Send(const std::string& name, ServiceCommand command) override;
  Result<ServiceRunState> Query(const std::string& name) override;
};

}  // namespace gandry
