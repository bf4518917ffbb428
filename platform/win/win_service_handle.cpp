#include "platform/win/win_service_handle.h"

#include "platform/win/win_error.h"

namespace gandry {

static_assert(static_cast<DWORD>(ServiceState::kStopped) == SERVICE_STOPPED);
static_assert(static_cast<DWORD>(ServiceState::kStartPending) == SERVICE_START_PENDING);
static_assert(static_cast<DWORD>(ServiceState::kStopPending) == SERVICE_STOP_PENDING);
static_assert(static_cast<DWORD>(ServiceState::kRunning) == SERVICE_RUNNING);
static_assert(static_cast<DWORD>(ServiceState::kContinuePending) == SERVICE_CONTINUE_PENDING);
static_assert(static_cast<DWORD>(ServiceState::kPausePending) == SERVICE_PAUSE_PENDING);
static_assert(static_cast<DWORD>(ServiceState::kPaused) == SERVICE_PAUSED);

ServiceState ServiceStateOf(DWORD state) {
  if (state >= SERVICE_STOPPED && state <= SERVICE_PAUSED) {
    return static_cast<ServiceState>(state);
  }
  return ServiceState::kUnknown;
}

Result<ScHandle> OpenManager(DWORD manager_access) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, manager_access);
  if (manager == nullptr) {
    return LastError();
  }
  return ScHandle(manager);
}

Result<OpenedHandles> OpenServiceFor(const std::string& name, DWORD access, DWORD manager_access) {
  Result<ScHandle> manager = OpenManager(manager_access);
  if (!manager) {
    return manager.error();
  }
  SC_HANDLE service = OpenServiceA(manager->get(), name.c_str(), access);
  if (service == nullptr) {
    return LastError();
  }
  return OpenedHandles{std::move(*manager), ScHandle(service)};
}

}  // namespace gandry
