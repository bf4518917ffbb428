#include "platform/win/win_service_manager.h"

#include <windows.h>

#include <utility>

#include "platform/win/win_error.h"
#include "platform/win/win_service_handle.h"
#include "platform/win/win_service_watch.h"

namespace gandry {

namespace {

static_assert(SC_MANAGER_ALL_ACCESS == 0xF003F);
static_assert(SERVICE_QUERY_STATUS == 0x0004 && SERVICE_START == 0x0010 && SERVICE_STOP == 0x0020 &&
              SERVICE_PAUSE_CONTINUE == 0x0040);
static_assert(SERVICE_CONTROL_STOP == 1 && SERVICE_CONTROL_PAUSE == 2 &&
              SERVICE_CONTROL_CONTINUE == 3 && SERVICE_CONTROL_PARAMCHANGE == 6);

DWORD AccessMask(ServiceAccess access) {
  switch (access) {
    case ServiceAccess::kQueryAndStart:
      return SERVICE_QUERY_STATUS | SERVICE_START;
    case ServiceAccess::kQueryAndStop:
      return SERVICE_QUERY_STATUS | SERVICE_STOP;
    case ServiceAccess::kStart:
      return SERVICE_START;
    case ServiceAccess::kStop:
      return SERVICE_STOP;
    case ServiceAccess::kPauseContinue:
      return SERVICE_PAUSE_CONTINUE;
    case ServiceAccess::kQuery:
      break;
  }
  return SERVICE_QUERY_STATUS;
}

DWORD ControlOf(ControlCode control) {
  switch (control) {
    case ControlCode::kStop:
      return SERVICE_CONTROL_STOP;
    case ControlCode::kPause:
      return SERVICE_CONTROL_PAUSE;
    case ControlCode::kContinue:
      return SERVICE_CONTROL_CONTINUE;
    case ControlCode::kParamChange:
      break;
  }
  return SERVICE_CONTROL_PARAMCHANGE;
}

class WinOpenedService final : public OpenedService {
 public:
  explicit WinOpenedService(OpenedHandles handles) : handles_(std::move(handles)) {}

  Result<ServiceStatus> Query() override {
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    if (!QueryServiceStatusEx(handles_.service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof(status), &needed)) {
      return LastError();
    }
    return ServiceStatus{ServiceStateOf(status.dwCurrentState),
                         status.dwCheckPoint,
                         status.dwWaitHint,
                         status.dwWin32ExitCode,
                         status.dwServiceSpecificExitCode,
                         status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR,
                         status.dwProcessId};
  }

  Status Start() override {
    if (!StartServiceA(handles_.service.get(), 0, nullptr)) {
      return LastError();
    }
    return {};
  }

  Status Control(ControlCode control) override {
    SERVICE_STATUS status;
    if (!ControlService(handles_.service.get(), ControlOf(control), &status)) {
      return LastError();
    }
    return {};
  }

 private:
  OpenedHandles handles_;
};

}  // namespace

WinServiceManager::WinServiceManager(ScmAccess scm_access)
    : scm_access_(scm_access), notifier_(std::make_unique<ServiceNotifier>()) {}

WinServiceManager::~WinServiceManager() = default;

Result<std::unique_ptr<OpenedService>> WinServiceManager::Open(const std::string& name,
                                                               ServiceAccess access) {
  const DWORD manager_access =
      scm_access_ == ScmAccess::kAll ? SC_MANAGER_ALL_ACCESS : SC_MANAGER_CONNECT;
  Result<OpenedHandles> handles = OpenServiceFor(name, AccessMask(access), manager_access);
  if (!handles) {
    return handles.error();
  }
  return std::unique_ptr<OpenedService>(std::make_unique<WinOpenedService>(std::move(*handles)));
}

Result<std::unique_ptr<ServiceWatch>> WinServiceManager::Watch(
    const std::string& name, std::function<void(const ServiceNotice&)> on_event) {
  return notifier_->Watch(name, std::move(on_event));
}

}  // namespace gandry
