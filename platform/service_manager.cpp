#include "platform/service_manager.h"

namespace gandry {

namespace {

ServiceAccess AccessFor(ServiceCommand command) {
  switch (command) {
    case ServiceCommand::kStart:
      return ServiceAccess::kStart;
    case ServiceCommand::kStop:
      return ServiceAccess::kStop;
    case ServiceCommand::kPause:
    case ServiceCommand::kContinue:
    case ServiceCommand::kParamChange:
      break;
  }
  return ServiceAccess::kPauseContinue;
}

ControlCode ControlFor(ServiceCommand command) {
  switch (command) {
    case ServiceCommand::kStop:
      return ControlCode::kStop;
    case ServiceCommand::kPause:
      return ControlCode::kPause;
    case ServiceCommand::kContinue:
      return ControlCode::kContinue;
    case ServiceCommand::kStart:
    case ServiceCommand::kParamChange:
      break;
  }
  return ControlCode::kParamChange;
}

}  // namespace

Result<ServiceStatus> QueryService(ServiceManager& services, const std::string& name) {
  Result<std::unique_ptr<OpenedService>> service = services.Open(name, ServiceAccess::kQuery);
  if (!service) {
    return service.error();
  }
  return (*service)->Query();
}

Status SendCommand(ServiceManager& services, const std::string& name, ServiceCommand command) {
  Result<std::unique_ptr<OpenedService>> service = services.Open(name, AccessFor(command));
  if (!service) {
    return service.error();
  }
  if (command == ServiceCommand::kStart) {
    return (*service)->Start();
  }
  return (*service)->Control(ControlFor(command));
}

}  // namespace gandry
