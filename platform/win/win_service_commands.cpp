#include "platform/win/win_service_commands.h"

#include <windows.h>

#include "platform/win/win_error.h"
#include "platform/win/win_service_handle.h"

namespace gandry {

namespace {

static_assert(kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR);
static_assert(SERVICE_CONTROL_STOP == 1 && SERVICE_CONTROL_PAUSE == 2 &&
              SERVICE_CONTROL_CONTINUE == 3 && SERVICE_CONTROL_PARAMCHANGE == 6);

DWORD ControlOf(ServiceCommand command) {
  switch (command) {
    case ServiceCommand::kStop:
      return SERVICE_CONTROL_STOP;
    case ServiceCommand::kPause:
      return SERVICE_CONTROL_PAUSE;
    case ServiceCommand::kContinue:
      return SERVICE_CONTROL_CONTINUE;
    case ServiceCommand::kParamChange:
    case ServiceCommand::kStart:
      break;
  }
  return SERVICE_CONTROL_PARAMCHANGE;
}

DWORD AccessOf(ServiceCommand command) {
  switch (command) {
    case ServiceCommand::kStart:
      return SERVICE_START;
    case ServiceCommand::kStop:
      return SERVICE_STOP;
    case ServiceCommand::kPause:
    case ServiceCommand::kContinue:
    case ServiceCommand::kParamChange:
      break;
  }
  return SERVICE_PAUSE_CONTINUE;
}

}  // namespace

Status WinServiceCommands::Send(const std::string& name, ServiceCommand command) {
  Result<OpenedHandles> handles = OpenServiceFor(name, AccessOf(command));
  if (!handles) {
    return handles.error();
  }
  SC_HANDLE service = handles->service.get();
  if (command == ServiceCommand::kStart) {
    if (!StartServiceA(service, 0, nullptr)) {
      return LastError();
    }
    return {};
  }
  SERVICE_STATUS status;
  if (!ControlService(service, ControlOf(command), &status)) {
    return LastError();
  }
  return {};
}

Result<ServiceRunState> WinServiceCommands::Query(const std::string& name) {
  Result<OpenedHandles> handles = OpenServiceFor(name, SERVICE_QUERY_STATUS);
  if (!handles) {
    return handles.error();
  }
  SERVICE_STATUS status;
  if (!QueryServiceStatus(handles->service.get(), &status)) {
    return LastError();
  }
  ServiceRunState run;
  run.state = ServiceStateOf(status.dwCurrentState);
  run.exit_code = status.dwWin32ExitCode;
  run.service_exit_code = status.dwServiceSpecificExitCode;
  run.check_point = status.dwCheckPoint;
  return run;
}

}  // namespace gandry
