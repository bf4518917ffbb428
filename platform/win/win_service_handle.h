#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "platform/result.h"
#include "platform/service_manager.h"

namespace gandry {

// A handle of the service control manager, closed at the end.
class ScHandle {
 public:
  ScHandle() = default;
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ScHandle(ScHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScHandle& operator=(ScHandle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~ScHandle() {
    if (handle_ != nullptr) {
      CloseServiceHandle(handle_);
    }
  }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_ = nullptr;
};

// A service opened through the process's shared handle of the service manager.
struct OpenedHandles {
  ScHandle service;
};

// A state as the service manager reports it; kUnknown for a number it should not report.
ServiceState ServiceStateOf(DWORD state);

// Opens the local service manager with `manager_access`.
Result<ScHandle> OpenManager(DWORD manager_access);
// The local service manager opened with `manager_access`, once per process and access. Each
// opening binds a connection of its own, and the monitors look at their services every few
// seconds. The handle stays open for the life of the process; any thread may call through it.
Result<SC_HANDLE> SharedManager(DWORD manager_access);
// Opens the named service with `access` through the shared manager with `manager_access`.
Result<OpenedHandles> OpenServiceFor(const std::string& name, DWORD access,
                                     DWORD manager_access = SC_MANAGER_CONNECT);

}  // namespace gandry
