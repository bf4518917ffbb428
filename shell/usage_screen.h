#pragma once

#include "shell/shell.h"

namespace gandry {

// The screen for a rejected command line: title, coloured usage text, a key wait, then the
// console is left. Sets the exit code to 31.
void UsageScreen(Shell& shell);

// Prompts and waits for a key press on the console. Ends at once when standard input is no
// console or cannot be read, so a run without a console never hangs here.
void WaitForKey(Shell& shell);

}  // namespace gandry
