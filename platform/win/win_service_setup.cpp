#include "platform/win/win_service_setup.h"

#include <windows.h>

#include <vector>

#include "platform/win/win_error.h"
#include "platform/win/win_service_handle.h"

namespace gandry {

namespace {

static_assert(static_cast<DWORD>(StartType::kBoot) == SERVICE_BOOT_START);
static_assert(static_cast<DWORD>(StartType::kSystem) == SERVICE_SYSTEM_START);
static_assert(static_cast<DWORD>(StartType::kAuto) == SERVICE_AUTO_START);
static_assert(static_cast<DWORD>(StartType::kDemand) == SERVICE_DEMAND_START);
static_assert(static_cast<DWORD>(StartType::kDisabled) == SERVICE_DISABLED);

Status SetDelayedStart(SC_HANDLE service, const ServiceRegistration& registration) {
  SERVICE_DELAYED_AUTO_START_INFO info{};
  info.fDelayedAutostart = registration.delayed_start ? TRUE : FALSE;
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info)) {
    // A system without delayed starts has nothing to switch off: it refuses the level (Wine
    // answers ERROR_INVALID_PARAMETER).
    const DWORD error = GetLastError();
    if (registration.delayed_start ||
        (error != ERROR_INVALID_LEVEL && error != ERROR_INVALID_PARAMETER)) {
      return LastError();
    }
  }
  return {};
}

// QueryServiceConfig2A into a buffer of the size it asks for.
Result<std::vector<BYTE>> QueryConfig2(SC_HANDLE service, DWORD level) {
  DWORD needed = 0;
  std::vector<BYTE> buffer(256);
  while (!QueryServiceConfig2A(service, level, buffer.data(), static_cast<DWORD>(buffer.size()),
                               &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
      return LastError();
    }
    buffer.resize(needed);
  }
  return buffer;
}

}  // namespace

Result<ServiceRegistration> WinServiceSetup::Query(const std::string& name) {
  Result<OpenedHandles> handles = OpenServiceFor(name, SERVICE_QUERY_CONFIG);
  if (!handles) {
    return handles.error();
  }
  SC_HANDLE service = handles->service.get();
  DWORD needed = 0;
  std::vector<BYTE> buffer(1024);
  while (!QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                              static_cast<DWORD>(buffer.size()), &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
      return LastError();
    }
    buffer.resize(needed);
  }
  const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data());
  ServiceRegistration registration;
  registration.display_name = config->lpDisplayName ? config->lpDisplayName : "";
  registration.command_line = config->lpBinaryPathName ? config->lpBinaryPathName : "";
  registration.start_type = static_cast<StartType>(config->dwStartType);
  if (registration.start_type == StartType::kAuto) {
    // Not every system keeps the flag; without it the start is not delayed.
    Result<std::vector<BYTE>> delayed =
        QueryConfig2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
    registration.delayed_start =
        delayed && reinterpret_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(delayed->data())
                       ->fDelayedAutostart;
  }
  return registration;
}

Status WinServiceSetup::Create(const std::string& name, const ServiceRegistration& registration) {
  Result<ScHandle> manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
  if (!manager) {
    return manager.error();
  }
  SC_HANDLE service = CreateServiceA(
      manager->get(), name.c_str(), registration.display_name.c_str(), SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, static_cast<DWORD>(registration.start_type), SERVICE_ERROR_NORMAL,
      registration.command_line.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service == nullptr) {
    return LastError();
  }
  const ScHandle created(service);
  return SetDelayedStart(service, registration);
}

Status WinServiceSetup::Change(const std::string& name, const ServiceRegistration& registration) {
  Result<OpenedHandles> handles = OpenServiceFor(name, SERVICE_CHANGE_CONFIG);
  if (!handles) {
    return handles.error();
  }
  SC_HANDLE service = handles->service.get();
  if (!ChangeServiceConfigA(service, SERVICE_WIN32_OWN_PROCESS,
                            static_cast<DWORD>(registration.start_type), SERVICE_ERROR_NORMAL,
                            registration.command_line.c_str(), nullptr, nullptr, nullptr, nullptr,
                            nullptr, registration.display_name.c_str())) {
    return LastError();
  }
  return SetDelayedStart(service, registration);
}

Status WinServiceSetup::SetDescription(const std::string& name, const std::string& description) {
  Result<OpenedHandles> handles = OpenServiceFor(name, SERVICE_CHANGE_CONFIG);
  if (!handles) {
    return handles.error();
  }
  std::vector<char> text(description.begin(), description.end());
  text.push_back('\0');
  SERVICE_DESCRIPTIONA info{text.data()};
  if (!ChangeServiceConfig2A(handles->service.get(), SERVICE_CONFIG_DESCRIPTION, &info)) {
    return LastError();
  }
  return {};
}

Status WinServiceSetup::Delete(const std::string& name) {
  Result<OpenedHandles> handles = OpenServiceFor(name, DELETE);
  if (!handles) {
    return handles.error();
  }
  if (!DeleteService(handles->service.get())) {
    return LastError();
  }
  return {};
}

}  // namespace gandry
