#include "platform/win/win_service_manager.h"

#include <windows.h>

#include <utility>

#include "platform/win/win_error.h"
#include "platform/win/win_service_handle.h"
#include "platform/win/win_service_watch.h"

namespace gandry {

namespace {

static_assert(SC_MANAGER_ALL_ACCESS == 0xF003F);
static_assert(SERVICE_QUERY_STATUS == 0x0004 && SERVICE_START == 0x0010 && SERVICE_STOP == 0x0020);

DWORD AccessMask(ServiceAccess access) {
  switch (access) {
    case ServiceAccess::kQueryAndStart:
      return SERVICE_QUERY_STATUS | SERVICE_START;
    case ServiceAccess::kQueryAndStop:
      return SERVICE_QUERY_STATUS | SERVICE_STOP;
    case ServiceAccess::kQuery:
      break;
  }
  return SERVICE_QUERY_STATUS;
}

class WinOpenedService final : public OpenedService {
 public:
  WinOpenedService(SC_HANDLE manager, SC_HANDLE service) : manager_(manager), service_(service) {}
  WinOpenedService(const WinOpenedService&) = delete;
  WinOpenedService& operator=(const WinOpenedService&) = delete;
  ~WinOpenedService() override {
    CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
  }

  Status Start() override {
    if (!StartServiceA(service_, 0, nullptr)) {
      return LastError();
    }
    return {};
  }

  Status SendStop() override {
    SERVICE_STATUS status;
    if (!ControlService(service_, SERVICE_CONTROL_STOP, &status)) {
      return LastError();
    }
    return {};
  }

  Result<ServiceStatus> Query() override {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service_, &status)) {
      return LastError();
    }
    return ServiceStatus{ServiceStateOf(status.dwCurrentState), status.dwCheckPoint,
                         status.dwWaitHint};
  }

 private:
  SC_HANDLE manager_;
  SC_HANDLE service_;
};

}  // namespace

Result<std::unique_ptr<OpenedService>> WinServiceManager::Open(const std::string& name,
                                                               ServiceAccess access) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    return LastError();
  }
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), AccessMask(access));
  if (service == nullptr) {
    const SystemError error = LastError();
    CloseServiceHandle(manager);
    return error;
  }
  return std::unique_ptr<OpenedService>(std::make_unique<WinOpenedService>(manager, service));
}

WinServiceManager::WinServiceManager() : notifier_(std::make_unique<ServiceNotifier>()) {}

WinServiceManager::~WinServiceManager() = default;

Result<std::unique_ptr<ServiceWatch>> WinServiceManager::Watch(
    const std::string& name, std::function<void(const ServiceNotice&)> on_event) {
  return notifier_->Watch(name, std::move(on_event));
}

}  // namespace gandry
