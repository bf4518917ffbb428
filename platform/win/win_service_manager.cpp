#include "platform/win/win_service_manager.h"

#include <windows.h>

namespace gandry {

namespace {

static_assert(SC_MANAGER_ALL_ACCESS == 0xF003F);

class WinOpenedService final : public OpenedService {
 public:
  WinOpenedService(SC_HANDLE manager, SC_HANDLE service) : manager_(manager), service_(service) {}
  WinOpenedService(const WinOpenedService&) = delete;
  WinOpenedService& operator=(const WinOpenedService&) = delete;
  ~WinOpenedService() override {
    CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
  }

  bool Start() override { return StartServiceA(service_, 0, nullptr) != FALSE; }

  bool SendStop() override {
    SERVICE_STATUS status;
    return ControlService(service_, SERVICE_CONTROL_STOP, &status) != FALSE;
  }

  std::optional<ServiceStatus> Query() override {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service_, &status)) {
      return std::nullopt;
    }
    return ServiceStatus{status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
  }

 private:
  SC_HANDLE manager_;
  SC_HANDLE service_;
};

}  // namespace

std::unique_ptr<OpenedService> WinServiceManager::Open(const std::string& name,
                                                       std::uint32_t access) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    return nullptr;
  }
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), access);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    return nullptr;
  }
  return std::make_unique<WinOpenedService>(manager, service);
}

}  // namespace gandry
