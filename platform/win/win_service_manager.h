#pragma once

#include <memory>

#include "platform/service_manager.h"

namespace gandry {

class ServiceNotifier;

// The local service control manager. Thread-safe. Its watches share one thread, and must all be
// destroyed before the manager; their callbacks must not call Watch.
class WinServiceManager final : public ServiceManager {
 public:
  WinServiceManager();
  WinServiceManager(const WinServiceManager&) = delete;
  WinServiceManager& operator=(const WinServiceManager&) = delete;
  ~WinServiceManager() override;

  Result<std::unique_ptr<OpenedService>> Open(const std::string& name,
                                              ServiceAccess access) override;
  Result<std::unique_ptr<ServiceWatch>> Watch(
      const std::string& name, std::function<void(const ServiceNotice&)> on_event) override;

 private:
  std::unique_ptr<ServiceNotifier> notifier_;
};

}  // namespace gandry
