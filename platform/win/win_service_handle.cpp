#include "platform/win/win_service_handle.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/win/win_error.h"

namespace gandry {

namespace {

std::mutex g_shared_mutex;
std::vector<std::pair<DWORD, SC_HANDLE>> g_shared;  // by access; guarded by g_shared_mutex

// The connection behind a shared handle is gone (the service manager was restarted): a fresh
// handle is opened in its place. The old one is left open, since another thread may be in a
// call through it.
bool ConnectionLost(DWORD error) {
  return error == ERROR_INVALID_HANDLE || error == RPC_S_SERVER_UNAVAILABLE ||
         error == RPC_S_CALL_FAILED || error == RPC_S_CALL_FAILED_DNE;
}

void ForgetShared(DWORD manager_access, SC_HANDLE manager) {
  const std::lock_guard lock(g_shared_mutex);
  std::erase(g_shared, std::pair{manager_access, manager});
}

}  // namespace

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

Result<SC_HANDLE> SharedManager(DWORD manager_access) {
  const std::lock_guard lock(g_shared_mutex);
  for (const auto& [access, manager] : g_shared) {
    if (access == manager_access) {
      return manager;
    }
  }
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, manager_access);
  if (manager == nullptr) {
    return LastError();
  }
  g_shared.emplace_back(manager_access, manager);
  return manager;
}

Result<OpenedHandles> OpenServiceFor(const std::string& name, DWORD access, DWORD manager_access) {
  for (int attempt = 0;; ++attempt) {
    const Result<SC_HANDLE> manager = SharedManager(manager_access);
    if (!manager) {
      return manager.error();
    }
    SC_HANDLE service = OpenServiceA(*manager, name.c_str(), access);
    if (service != nullptr) {
      return OpenedHandles{ScHandle(service)};
    }
    const DWORD error = GetLastError();
    if (attempt > 0 || !ConnectionLost(error)) {
      return WinError(error);
    }
    ForgetShared(manager_access, *manager);
  }
}

}  // namespace gandry
