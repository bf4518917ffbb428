#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"
#include "platform/service_manager.h"

namespace gandry {

// What an administrator asks of a service.
enum class ServiceCommand : std::uint8_t {
  kStart,
  kStop,
  kPause,
  kContinue,
  kParamChange,  // its settings have changed: read them again
};

// A service's state with the exit codes of its last run, and the progress of a pending state.
struct ServiceRunState {
  ServiceState state = ServiceState::kUnknown;
  std::uint32_t exit_code = 0;          // the system's error code of its last stop
  std::uint32_t service_exit_code = 0;  // its own code, when exit_code is kServiceSpecificError
  std::uint32_t check_point = 0;        // moves on while a pending state makes progress
};

// The error code that says a service reported an exit code of its own.
inline constexpr std::uint32_t kServiceSpecificError = 1066;

// Commands and state queries on services, each opening and closing its own handles.
class ServiceCommands {
 public:
  virtual ~ServiceCommands() = default;
  virtual Status Send(const std::string& name, ServiceCommand command) = 0;
  virtual Result<ServiceRunState> Query(const std::string& name) = 0;
};

}  // namespace gandry
