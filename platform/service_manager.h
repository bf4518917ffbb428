#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace gandry {

// Access rights asked for when a service is opened.
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;

struct ServiceStatus {
  std::uint32_t state = 0;  // 1 stopped ... 7 paused, as the service manager numbers them
  std::uint32_t check_point = 0;
  std::uint32_t wait_hint_ms = 0;
};

// One opened service together with the manager it was opened through; destroying it closes
// the service handle, then the manager's.
class OpenedService {
 public:
  virtual ~OpenedService() = default;
  virtual bool Start() = 0;
  virtual bool SendStop() = 0;
  virtual std::optional<ServiceStatus> Query() = 0;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Opens the local manager with all access, then the named service with `access`; nullptr
  // when either fails.
  virtual std::unique_ptr<OpenedService> Open(const std::string& name, std::uint32_t access) = 0;
};

}  // namespace gandry
