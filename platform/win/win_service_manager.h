#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace gandry {

class ServiceNotifier;

// What a WinServiceManager asks of the service control manager itself for each open: the
// watchdog asks for all access, as it always has; the manager needs no more than to connect.
enum class ScmAccess : std::uint8_t { kConnect, kAll };

// The local service control manager. Thread-safe. Its watches share one thread, and must all be
// destroyed before the manager; their callbacks must not call Watch.
class WinServiceManager final : public ServiceManager {
 public:
  explicit WinServiceManager(ScmAccess scm_access = ScmAccess::kConnect);
  WinServiceManager(const WinServiceManager&) = delete;
  WinServiceManager& operator=(const WinServiceManager&) = delete;
  ~WinServiceManager() override;

  Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                              ServiceAccess access) override;
  Result<std::unique_ptr<ServiceWatch>> Watch(
      const std::string& name, std::function<void(const ServiceNotice&)> on_event) override;
  Result<std::vector<std::string>> ActiveDependents(const std::string& name) override;
  Result<std::vector<std::string>> ServicesInProcess(std::uint32_t process_id) override;
  Status EndServiceProcess(const std::string& name, std::uint32_t process_id) override;

 private:
  ScmAccess scm_access_;
  std::unique_ptr<ServiceNotifier> notifier_;
};

}  // namespace gandry
