#include "tools/wine_rig/registered_service.h"

#include <utility>

namespace gandry::rig {

RegisteredService::RegisteredService(std::string name, const std::string& command_line)
    : name_(std::move(name)) {
  manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  service_ = CreateServiceA(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                            command_line.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
}

RegisteredService::~RegisteredService() {
  if (service_ != nullptr) {
    const DWORD process_id = ProcessId();
    Stop();
    if (!WaitForState(SERVICE_STOPPED, 10'000) && process_id != 0) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);
      if (process != nullptr) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
      }
    }
    DeleteService(service_);
    CloseServiceHandle(service_);
  }
  if (manager_ != nullptr) {
    CloseServiceHandle(manager_);
  }
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
  SERVICE_STATUS status{};
  QueryServiceStatus(service_, &status);
  return status;
}

DWORD RegisteredService::State() {
  return Status().dwCurrentState;
}

DWORD RegisteredService::ProcessId() {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                            sizeof status, &needed)) {
    return 0;
  }
  return status.dwProcessId;
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
