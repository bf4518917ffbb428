#include "platform/win/win_service_recovery.h"

#include <windows.h>

#include <vector>

#include "platform/win/win_error.h"
#include "platform/win/win_service_handle.h"

namespace gandry {

namespace {

static_assert(SERVICE_CONFIG_FAILURE_ACTIONS == 2 && SERVICE_CONFIG_FAILURE_ACTIONS_FLAG == 4);

}  // namespace

Result<FailureActions> WinServiceRecovery::Query(const std::string& name) {
  Result<OpenedHandles> handles = OpenServiceFor(name, SERVICE_QUERY_CONFIG);
  if (!handles) {
    return handles.error();
  }
  SC_HANDLE service = handles->service.get();
  DWORD needed = 0;
  std::vector<BYTE> buffer(512);
  while (!QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(),
                               static_cast<DWORD>(buffer.size()), &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
      return LastError();
    }
    buffer.resize(needed);
  }
  const auto* info = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data());
  FailureActions actions;
  actions.reset_after = std::chrono::seconds(info->dwResetPeriod);
  for (DWORD i = 0; i < info->cActions; ++i) {
    if (info->lpsaActions[i].Type == SC_ACTION_RESTART) {
      actions.restart_delays.emplace_back(info->lpsaActions[i].Delay);
    }
  }
  SERVICE_FAILURE_ACTIONS_FLAG flag{};
  if (!QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
                            reinterpret_cast<BYTE*>(&flag), sizeof flag, &needed)) {
    return LastError();
  }
  actions.on_error_stop = flag.fFailureActionsOnNonCrashFailures != FALSE;
  return actions;
}

Status WinServiceRecovery::Set(const std::string& name, const FailureActions& actions) {
  // SERVICE_START: actions that restart the service need the right to start it.
  Result<OpenedHandles> handles = OpenServiceFor(name, SERVICE_CHANGE_CONFIG | SERVICE_START);
  if (!handles) {
    return handles.error();
  }
  SC_HANDLE service = handles->service.get();
  std::vector<SC_ACTION> list;
  for (const std::chrono::milliseconds delay : actions.restart_delays) {
    list.push_back({SC_ACTION_RESTART, static_cast<DWORD>(delay.count())});
  }
  SERVICE_FAILURE_ACTIONSA info{};
  info.dwResetPeriod = static_cast<DWORD>(actions.reset_after.count());
  info.cActions = static_cast<DWORD>(list.size());
  info.lpsaActions = list.data();
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info)) {
    return LastError();
  }
  SERVICE_FAILURE_ACTIONS_FLAG flag{};
  flag.fFailureActionsOnNonCrashFailures = actions.on_error_stop ? TRUE : FALSE;
  if (!ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
    return LastError();
  }
  return {};
}

}  // namespace gandry
