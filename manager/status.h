#pragma once

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// The watchdog service's state, then per item its service's state, start type and last exit
// code with the system's text, and the item's attempts and period; as text lines, or with
// --json as one JSON document.
int RunStatus(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
