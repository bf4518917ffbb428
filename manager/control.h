#pragma once

#include <cstdint>
#include <string>

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// How the manager names a service state: "running", "stop pending" and so on.
const char* StateName(ServiceState state);
// How it names a start type: "auto", "delayed-auto", "demand", "disabled", "boot", "system".
const char* StartTypeName(StartType type, bool delayed);

// "exit code N (the system's text)", with the service's own code when it reported one.
std::string ExitCodesText(Manager& manager, const ServiceStatus& run);

// What the manager's control commands ask of the watchdog service.
enum class ControlCommand : std::uint8_t { kStart, kStop, kPause, kContinue, kRestart, kReload };

// Sends `control` to the watchdog service. Each but reload waits for the state it asks for and
// prints the state reached.
int RunControl(Manager& manager, ControlCommand control);

// Sends `command` to the named service and waits for `target`; prints "<name>: <state>". The
// wait follows a pending state for as long as it makes progress, up to the longest stop of the
// watchdog, and gives up after 60 seconds without progress. A start that ends in stopped ends
// the wait early; one that reaches running is watched for a few seconds more, and fails with
// the exit codes when the service stops again meanwhile.
int ControlAndWait(Manager& manager, const std::string& name, ServiceCommand command,
                   ServiceState target);

// After an edit of Gandry.ini: asks a running (or paused, or pausing) watchdog to read it
// again, unless the command line says --no-reload; says so when the watchdog is not running.
// kExitNotReloaded when it could not be asked.
int ReloadAfterEdit(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
