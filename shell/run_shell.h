#pragma once

#include <string_view>

#include "shell/shell.h"

namespace gandry {

// The shell's whole run, from the command-line parse to the end of the process. `own_path` is
// the full path of the shell's program file, `command_line` its command line.
void RunShell(Shell& shell, std::string_view own_path, std::string_view command_line);

}  // namespace gandry
