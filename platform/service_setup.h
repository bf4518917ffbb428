#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace gandry {

// When the service manager starts a service; the values are the manager's own numbers.
enum class StartType : std::uint8_t {
  kBoot = 0,
  kSystem = 1,
  kAuto = 2,
  kDemand = 3,
  kDisabled = 4,
};

// How a service is registered: what the manager shows, runs and when it starts it.
struct ServiceRegistration {
  std::string display_name;
  // The program's path and its arguments as the manager keeps them; a path with blanks must
  // be quoted, or the manager may run a program that its first word names.
  std::string command_line;
  StartType start_type = StartType::kDemand;
  bool delayed_start = false;  // with kAuto: started a little after the other automatic ones
};

// Registering, changing and deleting own-process services that run as LocalSystem.
class ServiceSetup {
 public:
  virtual ~ServiceSetup() = default;
  // The service's registration; fails with ErrorKind::kNoSuchService when there is no such
  // service.
  virtual Result<ServiceRegistration> Query(const std::string& name) = 0;
  virtual Status Create(const std::string& name, const ServiceRegistration& registration) = 0;
  // Rewrites an existing service's registration.
  virtual Status Change(const std::string& name, const ServiceRegistration& registration) = 0;
  virtual Status SetDescription(const std::string& name, const std::string& description) = 0;
  // Marks the service for deletion: it goes once it is stopped and no handle to it is open.
  virtual Status Delete(const std::string& name) = 0;
};

}  // namespace gandry
