#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gandry {

// The watchdog program that the shell starts, and the command line it gets.
struct ChildCommand {
  std::string application;   // full path of the program file
  std::string command_line;  // the program path (quoted when needed) and the shell's argument
};

// The watchdog lies beside the shell: the shell's own path, lower-cased, with the file name's
// extension replaced by ".svc" (or ".svc" added when the name has none). Folder names are
// never touched, even when they hold ".exe".
std::string ChildProgramPath(std::string_view own_path);

// `args` is the shell's split command line; element 0 (its own name) is skipped and every
// other argument is passed on unchanged.
ChildCommand BuildShellCommandLine(std::string_view own_path, const std::vector<std::string>& args);

}  // namespace gandry
