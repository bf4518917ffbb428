#pragma once

#include <string>

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// How the manager names a service state: "running", "stop pending" and so on.
const char* StateName(ServiceState state);
// How it names a start type: "auto", "delayed-auto", "demand", "disabled", "boot", "system".
const char* StartTypeName(StartType type, bool delayed);

// start, stop, pause, continue, restart and reload on the watchdog service. Each but reload
// waits for the state it asks for (at most 60 seconds) and prints the state reached.
int RunControl(Manager& manager, const std::string& command);

// Sends `command` to the named service and waits for `target`; prints "<name>: <state>".
// A start that ends in stopped ends the wait early.
int ControlAndWait(Manager& manager, const std::string& name, ServiceCommand command,
                   ServiceState target);

// After an edit of Gandry.ini: asks a running (or paused) watchdog to read it again, unless the
// command line says --no-reload; says so when the watchdog is not running.
int ReloadAfterEdit(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
