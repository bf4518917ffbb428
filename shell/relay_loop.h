#pragma once

#include <chrono>
#include <cstdint>

#include "shell/shell.h"

namespace gandry {

inline constexpr std::chrono::milliseconds kRelayPause{1000};
// Service mode's time budget: lowered by each pause, the loop goes on while it is not negative,
// so it makes 11 passes and 11 pauses.
inline constexpr std::int32_t kWaitBudgetMs = 10000;

// Copies the channel's lines to the output until the end marker arrives or the child ends (or,
// in service mode, the budget runs out). Each pass drains the channel, checks the child, sends
// the output on and pauses. A break's stop request ends it at once.
void RelayLoop(Shell& shell);

// What happens to the child once the relay is over: in service and process mode a finished
// conversation leaves it running; in service mode a run-out budget is a failure.
void AfterRelay(Shell& shell);

}  // namespace gandry
