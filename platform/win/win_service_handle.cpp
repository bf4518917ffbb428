#include "platform/win/win_service_handle.h"

#include "platform/win/win_error.h"

namespace gandry {

Result<ScHandle> OpenManager(DWORD manager_access) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, manager_access);
  if (manager == nullptr) {
    return LastError();
  }
  return ScHandle(manager);
}

Result<OpenedHandles> OpenServiceFor(const std::string& name, DWORD access) {
  Result<ScHandle> manager = OpenManager(SC_MANAGER_CONNECT);
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
