#include "manager/control.h"

#include <chrono>

#include "watchdog/service_control.h"

namespace gandry {

namespace {

constexpr std::int64_t kStateWaitMs = 60'000;
constexpr std::chrono::milliseconds kStatePoll{250};

}  // namespace

const char* StateName(ServiceState state) {
  switch (state) {
    case ServiceState::kStopped:
      return "stopped";
    case ServiceState::kStartPending:
      return "start pending";
    case ServiceState::kStopPending:
      return "stop pending";
    case ServiceState::kRunning:
      return "running";
    case ServiceState::kContinuePending:
      return "continue pending";
    case ServiceState::kPausePending:
      return "pause pending";
    case ServiceState::kPaused:
      return "paused";
    case ServiceState::kUnknown:
      break;
  }
  return "unknown";
}

const char* StartTypeName(StartType type, bool delayed) {
  switch (type) {
    case StartType::kBoot:
      return "boot";
    case StartType::kSystem:
      return "system";
    case StartType::kAuto:
      return delayed ? "delayed-auto" : "auto";
    case StartType::kDemand:
      return "demand";
    case StartType::kDisabled:
      return "disabled";
  }
  return "unknown";
}

int ControlAndWait(Manager& manager, const std::string& name, ServiceCommand command,
                   ServiceState target) {
  ServiceCommands& commands = manager.platform.commands;
  const Status sent = commands.Send(name, command);
  const bool already =
      !sent &&
      ((command == ServiceCommand::kStart && sent.error().code == kErrorServiceAlreadyRunning) ||
       (command == ServiceCommand::kStop && sent.error().code == kErrorServiceNotActive));
  if (!sent && !already) {
    return manager.Fail("Cannot send the request to the service \"" + name + "\"", sent.error());
  }
  Clock& clock = manager.platform.clock;
  const std::int64_t began = clock.TickMs();
  for (;;) {
    Result<ServiceRunState> state = commands.Query(name);
    if (!state) {
      return manager.Fail("Cannot query the service \"" + name + "\"", state.error());
    }
    const bool failed_start =
        command == ServiceCommand::kStart && state->state == ServiceState::kStopped;
    if (state->state == target || failed_start || clock.TickMs() - began >= kStateWaitMs) {
      manager.out << name << ": " << StateName(state->state) << '\n';
      if (state->state == target) {
        return kExitDone;
      }
      manager.err << "The service \"" << name << "\" is " << StateName(state->state)
                  << (failed_start ? " after the start request" : " after 60 seconds") << ", not "
                  << StateName(target) << ".\n";
      return kExitFailed;
    }
    clock.Sleep(kStatePoll, nullptr);
  }
}

int RunControl(Manager& manager, const std::string& command) {
  const std::string name = kServiceName;
  if (command == "start") {
    return ControlAndWait(manager, name, ServiceCommand::kStart, ServiceState::kRunning);
  }
  if (command == "stop") {
    return ControlAndWait(manager, name, ServiceCommand::kStop, ServiceState::kStopped);
  }
  if (command == "pause") {
    return ControlAndWait(manager, name, ServiceCommand::kPause, ServiceState::kPaused);
  }
  if (command == "continue") {
    return ControlAndWait(manager, name, ServiceCommand::kContinue, ServiceState::kRunning);
  }
  if (command == "restart") {
    const int stopped =
        ControlAndWait(manager, name, ServiceCommand::kStop, ServiceState::kStopped);
    if (stopped != kExitDone) {
      return stopped;
    }
    return ControlAndWait(manager, name, ServiceCommand::kStart, ServiceState::kRunning);
  }
  // reload: the state does not change, so there is nothing to wait for.
  const Status sent = manager.platform.commands.Send(name, ServiceCommand::kParamChange);
  if (!sent) {
    return manager.Fail("Cannot ask the service \"" + name + "\" to reload Gandry.ini",
                        sent.error());
  }
  manager.out << "Asked the service \"" << name << "\" to read Gandry.ini again.\n";
  return kExitDone;
}

int ReloadAfterEdit(Manager& manager, const ManagerArgs& args) {
  if (args.Has("no-reload")) {
    return kExitDone;
  }
  Result<ServiceRunState> state = manager.platform.commands.Query(kServiceName);
  if (!state || (state->state != ServiceState::kRunning && state->state != ServiceState::kPaused)) {
    manager.out << "The watchdog is not running; it reads Gandry.ini when it starts.\n";
    return kExitDone;
  }
  return RunControl(manager, "reload");
}

}  // namespace gandry
