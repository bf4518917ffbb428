#pragma once

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// The version of the JSON document's layout; it grows when a field changes its meaning or type
// or goes away. Version 2 added the live fields; the output without a version was version 1.
inline constexpr int kStatusSchemaVersion = 2;

// The watchdog service's state, then per item its service's state, start type and last exit
// code with the system's text, and the item's attempts and period, and while the watchdog
// service runs what it says of the item (attempts left, next restart, health checks failed in
// a row, starts by reason and failed starts since it began, last start); as text lines, or
// with --json as one JSON document.
int RunStatus(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
