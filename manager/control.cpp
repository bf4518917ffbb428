#include "manager/control.h"

#include <chrono>
#include <optional>
#include <string>

#include "common/product_names.h"
#include "common/stop_limits.h"

namespace gandry {

namespace {

constexpr std::chrono::milliseconds kStatePoll{250};
// A pending state that shows no progress for this long is taken for hung.
constexpr std::int64_t kNoProgressMs = 60'000;
// The longest any wait here lasts: the longest the watchdog takes to stop, and a minute more,
// so that a restart never gives up on a stop that the watchdog is still bringing to an end.
constexpr std::int64_t kLongestStopMs =
    std::chrono::milliseconds(kLongestWatchdogStop + std::chrono::minutes(1)).count();
// How long a start watches a service that has reached running: the watchdog stops again at
// once when Gandry.ini lists nothing or cannot be read.
constexpr std::int64_t kSettleMs = 3'000;

// The wait of ControlAndWait for `target`: the state reached, or nothing when it failed (said
// on err).
std::optional<ServiceStatus> WaitFor(Manager& manager, const std::string& name,
                                     ServiceCommand command, ServiceState target) {
  Clock& clock = manager.platform.clock;
  const std::int64_t began = clock.TickMs();
  std::int64_t progressed = began;
  std::optional<ServiceStatus> last;
  for (;;) {
    Result<ServiceStatus> state = QueryService(manager.platform.services, name);
    if (!state) {
      manager.Fail("Cannot query the service \"" + name + "\"", state.error());
      return std::nullopt;
    }
    const std::int64_t now = clock.TickMs();
    if (!last || last->state != state->state || last->check_point != state->check_point) {
      progressed = now;
    }
    last = *state;
    if (state->state == target) {
      return last;
    }
    if (command == ServiceCommand::kStart && state->state == ServiceState::kStopped) {
      manager.out << name << ": " << StateName(state->state) << '\n';
      manager.err << "The service \"" << name
                  << "\" is stopped after the start request, not running: "
                  << ExitCodesText(manager, *state) << ".\n";
      return std::nullopt;
    }
    const bool stalled = now - progressed >= kNoProgressMs;
    if (stalled || now - began >= kLongestStopMs) {
      manager.out << name << ": " << StateName(state->state) << '\n';
      manager.err << "The service \"" << name << "\" is " << StateName(state->state)
                  << (stalled ? " and has made no progress for 60 seconds"
                              : " after " + std::to_string((now - began) / 60'000) + " minutes")
                  << ", not " << StateName(target) << ".\n";
      return std::nullopt;
    }
    clock.Sleep(kStatePoll, nullptr);
  }
}

// Watches a service that has just reached running for kSettleMs; false when it stopped again
// (said on err).
bool StaysUp(Manager& manager, const std::string& name) {
  Clock& clock = manager.platform.clock;
  const std::int64_t began = clock.TickMs();
  ServiceState state = ServiceState::kRunning;
  while (clock.TickMs() - began < kSettleMs) {
    clock.Sleep(kStatePoll, nullptr);
    Result<ServiceStatus> run = QueryService(manager.platform.services, name);
    if (!run) {
      manager.Fail("Cannot query the service \"" + name + "\"", run.error());
      return false;
    }
    state = run->state;
    if (state == ServiceState::kStopped) {
      manager.out << name << ": " << StateName(state) << '\n';
      manager.err << "The service \"" << name
                  << "\" stopped again right after it started: " << ExitCodesText(manager, *run)
                  << ". \"gandry-manager check\" may tell why.\n";
      return false;
    }
  }
  if (state == ServiceState::kStopPending) {
    manager.out << name << ": " << StateName(state) << '\n';
    manager.err << "The service \"" << name << "\" is stopping again right after it started.\n";
    return false;
  }
  return true;
}

int NotReloaded(Manager& manager, const std::string& reason) {
  manager.err << "Gandry.ini changed, not reloaded: " << reason
              << " Run \"gandry-manager reload\" once the watchdog runs.\n";
  return kExitNotReloaded;
}

// Asks the watchdog to read Gandry.ini again. Its state does not change, so there is nothing to
// wait for.
int Reload(Manager& manager) {
  const std::string name = kServiceName;
  const Status sent = SendCommand(manager.platform.services, name, ServiceCommand::kParamChange);
  if (!sent) {
    return manager.Fail("Cannot ask the service \"" + name + "\" to reload Gandry.ini",
                        sent.error());
  }
  manager.out << "Asked the service \"" << name << "\" to read Gandry.ini again.\n";
  return kExitDone;
}

}  // namespace

std::string ExitCodesText(Manager& manager, const ServiceStatus& run) {
  std::string text =
      "exit code " + std::to_string(run.exit_code) + " (" + manager.SystemText(run.exit_code);
  if (run.own_exit_code) {
    text += "; its own code " + std::to_string(run.service_exit_code);
  }
  return text + ")";
}

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
  const Status sent = SendCommand(manager.platform.services, name, command);
  const bool already =
      !sent &&
      ((command == ServiceCommand::kStart && sent.error().kind == ErrorKind::kAlreadyRunning) ||
       (command == ServiceCommand::kStop && sent.error().kind == ErrorKind::kNotRunning));
  if (!sent && !already) {
    return manager.Fail("Cannot send the request to the service \"" + name + "\"", sent.error());
  }
  const std::optional<ServiceStatus> reached = WaitFor(manager, name, command, target);
  if (!reached) {
    return kExitFailed;
  }
  if (command == ServiceCommand::kStart && !already && !StaysUp(manager, name)) {
    return kExitFailed;
  }
  manager.out << name << ": " << StateName(reached->state) << '\n';
  return kExitDone;
}

int RunControl(Manager& manager, ControlCommand control) {
  const std::string name = kServiceName;
  switch (control) {
    case ControlCommand::kStart:
      return ControlAndWait(manager, name, ServiceCommand::kStart, ServiceState::kRunning);
    case ControlCommand::kStop:
      return ControlAndWait(manager, name, ServiceCommand::kStop, ServiceState::kStopped);
    case ControlCommand::kPause:
      return ControlAndWait(manager, name, ServiceCommand::kPause, ServiceState::kPaused);
    case ControlCommand::kContinue:
      return ControlAndWait(manager, name, ServiceCommand::kContinue, ServiceState::kRunning);
    case ControlCommand::kRestart:
      if (const int stopped =
              ControlAndWait(manager, name, ServiceCommand::kStop, ServiceState::kStopped);
          stopped != kExitDone) {
        return stopped;
      }
      return ControlAndWait(manager, name, ServiceCommand::kStart, ServiceState::kRunning);
    case ControlCommand::kReload:
      return Reload(manager);
  }
  // Not one of the controls above: nothing is sent.
  return kExitUsage;
}

int ReloadAfterEdit(Manager& manager, const ManagerArgs& args) {
  if (args.Has("no-reload")) {
    return kExitDone;
  }
  Result<ServiceStatus> state = QueryService(manager.platform.services, kServiceName);
  const bool absent = !state && state.error().kind == ErrorKind::kNoSuchService;
  // A watchdog that is starting reads the file yet; one that is stopping reads it next time.
  if (absent || (state && (state->state == ServiceState::kStopped ||
                           state->state == ServiceState::kStartPending ||
                           state->state == ServiceState::kStopPending))) {
    manager.out << "The watchdog is not running; it reads Gandry.ini when it starts.\n";
    return kExitDone;
  }
  if (!state) {
    return NotReloaded(manager, "cannot query the watchdog: " + manager.Explain(state.error()));
  }
  const Status sent =
      SendCommand(manager.platform.services, kServiceName, ServiceCommand::kParamChange);
  if (!sent) {
    return NotReloaded(manager, manager.Explain(sent.error()));
  }
  manager.out << "Asked the service \"" << kServiceName << "\" to read Gandry.ini again.\n";
  return kExitDone;
}

}  // namespace gandry
