#include "platform/win/win_service_manager.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

#include "platform/win/win_error.h"
#include "platform/win/win_service_handle.h"
#include "platform/win/win_service_watch.h"

namespace gandry {

namespace {

static_assert(SC_MANAGER_ALL_ACCESS == 0xF003F);
static_assert(SERVICE_QUERY_STATUS == 0x0004 && SERVICE_START == 0x0010 && SERVICE_STOP == 0x0020 &&
              SERVICE_PAUSE_CONTINUE == 0x0040);
static_assert(SERVICE_WIN32_OWN_PROCESS == 0x10 && SERVICE_WIN32_SHARE_PROCESS == 0x20);
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

DWORD ManagerAccessOf(ScmAccess access) {
  return access == ScmAccess::kAll ? SC_MANAGER_ALL_ACCESS : SC_MANAGER_CONNECT;
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

// A user service's type adds a flag of its own to the own-process bit; a shared one has the
// share bit, whatever else it carries.
bool OwnProcess(DWORD type) {
  return (type & SERVICE_WIN32_OWN_PROCESS) != 0 && (type & SERVICE_WIN32_SHARE_PROCESS) == 0;
}

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using KernelHandle = std::unique_ptr<void, CloseKernelHandle>;

// TerminateProcess only begins the end; the service manager sees it once the process is gone.
constexpr DWORD kProcessEndWaitMs = 5000;
constexpr DWORD kEndedProcessExitCode = 1;

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
                         status.dwProcessId,
                         OwnProcess(status.dwServiceType)};
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
  Result<OpenedHandles> handles =
      OpenServiceFor(name, AccessMask(access), ManagerAccessOf(scm_access_));
  if (!handles) {
    return handles.error();
  }
  return std::unique_ptr<OpenedService>(std::make_unique<WinOpenedService>(std::move(*handles)));
}

Result<std::unique_ptr<ServiceWatch>> WinServiceManager::Watch(
    const std::string& name, std::function<void(const ServiceNotice&)> on_event) {
  return notifier_->Watch(name, std::move(on_event));
}

Result<std::vector<std::string>> WinServiceManager::ActiveDependents(const std::string& name) {
  Result<OpenedHandles> handles =
      OpenServiceFor(name, SERVICE_ENUMERATE_DEPENDENTS, ManagerAccessOf(scm_access_));
  if (!handles) {
    return handles.error();
  }
  std::vector<BYTE> buffer(4096);
  DWORD needed = 0;
  DWORD count = 0;
  while (!EnumDependentServicesA(handles->service.get(), SERVICE_ACTIVE,
                                 reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()),
                                 static_cast<DWORD>(buffer.size()), &needed, &count)) {
    if (GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) {
      return LastError();
    }
    buffer.resize(needed);
  }
  const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
  std::vector<std::string> names;
  for (DWORD i = 0; i < count; ++i) {
    names.emplace_back(entries[i].lpServiceName);
  }
  return names;
}

Result<std::vector<std::string>> WinServiceManager::ServicesInProcess(std::uint32_t process_id) {
  const Result<SC_HANDLE> manager = SharedManager(SC_MANAGER_ENUMERATE_SERVICE);
  if (!manager) {
    return manager.error();
  }
  std::vector<std::string> names;
  std::vector<BYTE> buffer(std::size_t{32} * 1024);
  DWORD resume = 0;
  for (;;) {
    DWORD needed = 0;
    DWORD count = 0;
    const BOOL all = EnumServicesStatusExA(
        *manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer.data(),
        static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
    if (!all && GetLastError() != ERROR_MORE_DATA) {
      return LastError();
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
      if (entries[i].ServiceStatusProcess.dwProcessId == process_id) {
        names.emplace_back(entries[i].lpServiceName);
      }
    }
    if (all) {
      return names;
    }
    // The rest follows from the resume point; a buffer too small for even one entry grows.
    if (count == 0) {
      buffer.resize(std::max<std::size_t>(needed, buffer.size() * 2));
    }
  }
}

Status WinServiceManager::EndServiceProcess(const std::string& name, std::uint32_t process_id) {
  // Held open from here on, the process keeps its id: the check below and the end concern the
  // same process.
  const KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id));
  if (process == nullptr) {
    // An id that no process has any more is an invalid parameter.
    const DWORD error = GetLastError();
    return WinError(error == ERROR_INVALID_PARAMETER ? ERROR_SERVICE_NOT_ACTIVE : error);
  }
  Result<OpenedHandles> handles =
      OpenServiceFor(name, SERVICE_QUERY_STATUS, ManagerAccessOf(scm_access_));
  if (!handles) {
    return handles.error();
  }
  SERVICE_STATUS_PROCESS status;
  DWORD needed = 0;
  if (!QueryServiceStatusEx(handles->service.get(), SC_STATUS_PROCESS_INFO,
                            reinterpret_cast<BYTE*>(&status), sizeof(status), &needed)) {
    return LastError();
  }
  if (status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId != process_id) {
    return WinError(ERROR_SERVICE_NOT_ACTIVE);
  }
  if (!TerminateProcess(process.get(), kEndedProcessExitCode)) {
    return LastError();
  }
  WaitForSingleObject(process.get(), kProcessEndWaitMs);
  return {};
}

}  // namespace gandry
