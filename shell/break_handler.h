#pragma once

#include <cstdint>

#include "shell/shell.h"

namespace gandry {

// The console control handler: every event type is a break. Prints the break line, cleans up
// (unless the main thread already has) and ends the process with exit code 6. It keeps
// `shell.mutex` to the end, so the main thread stops at its next step.
void BreakHandler(Shell& shell, ConsoleEvent event);

}  // namespace gandry
