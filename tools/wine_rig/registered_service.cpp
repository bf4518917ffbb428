#include "tools/wine_rig/registered_service.h"

#include <cstdio>
#include <utility>

namespace gandry::rig {

RegisteredService::RegisteredService(std::string name, const std::string& command_line)
    : name_(std::move(name)) {
  // A service manager busy with other tests' services may turn a connection away for a while
  // (it answers "too busy" after five seconds); the registration tries for half a minute.
  const ULONGLONG deadline = GetTickCount64() + 30'000;
  DWORD error = 0;
  for (;;) {
    if (manager_ == nullptr) {
      manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    }
    if (manager_ != nullptr) {
      service_ =
          CreateServiceA(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                         command_line.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    if (service_ != nullptr) {
      return;
    }
    error = GetLastError();
    if (error == ERROR_SERVICE_EXISTS || GetTickCount64() > deadline) {
      break;
    }
    Sleep(500);
  }
  std::fprintf(stderr, "registering the service %s failed with error %lu\n", name_.c_str(),
               static_cast<unsigned long>(error));
}

RegisteredService::~RegisteredService() {
  if (service_ != nullptr) {
    ProcessId();
    Stop();
    if (!WaitForState(SERVICE_STOPPED, 10'000) && process_ != nullptr) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    DeleteService(service_);
    CloseServiceHandle(service_);
  }
  if (process_ != nullptr) {
    CloseHandle(process_);
  }
  if (manager_ != nullptr) {
    CloseServiceHandle(manager_);
  }
}

void RegisteredService::HoldRunningProcess(const SERVICE_STATUS_PROCESS& status) {
  if (status.dwCurrentState != SERVICE_RUNNING || status.dwProcessId == 0 ||
      status.dwProcessId == process_id_) {
    return;
  }
  if (process_ != nullptr) {
    CloseHandle(process_);
  }
  process_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
  process_id_ = process_ != nullptr ? status.dwProcessId : 0;
}

SERVICE_STATUS_PROCESS RegisteredService::StatusProcess() {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                           sizeof status, &needed)) {
    HoldRunningProcess(status);
  }
  return status;
}

bool RegisteredService::Start() {
  return StartServiceA(service_, 0, nullptr) != 0;
}

bool RegisteredService::StartRunning() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    Start();
    if (WaitForState(SERVICE_RUNNING, 10'000)) {
      return true;
    }
  }
  return false;
}

bool RegisteredService::Stop() {
  return Control(SERVICE_CONTROL_STOP);
}

bool RegisteredService::Control(DWORD control) {
  SERVICE_STATUS status;
  return ControlService(service_, control, &status) != 0;
}

SERVICE_STATUS RegisteredService::Status() {
  const SERVICE_STATUS_PROCESS process_status = StatusProcess();
  SERVICE_STATUS status{};
  status.dwServiceType = process_status.dwServiceType;
  status.dwCurrentState = process_status.dwCurrentState;
  status.dwControlsAccepted = process_status.dwControlsAccepted;
  status.dwWin32ExitCode = process_status.dwWin32ExitCode;
  status.dwServiceSpecificExitCode = process_status.dwServiceSpecificExitCode;
  status.dwCheckPoint = process_status.dwCheckPoint;
  status.dwWaitHint = process_status.dwWaitHint;
  return status;
}

DWORD RegisteredService::State() {
  return Status().dwCurrentState;
}

DWORD RegisteredService::ProcessId() {
  return StatusProcess().dwProcessId;
}

bool RegisteredService::WaitForState(DWORD state, DWORD limit_ms, DWORD poll_ms) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (State() != state) {
    if (GetTickCount64() > deadline) {
      return false;
    }
    Sleep(poll_ms);
  }
  return true;
}

bool WaitProcessEnd(DWORD process_id, DWORD limit_ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) {
    return true;  // already gone
  }
  const bool ended = WaitForSingleObject(process, limit_ms) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

}  // namespace gandry::rig
