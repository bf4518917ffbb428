#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "manager/command_line.h"
#include "manager/manager.h"

namespace gandry {

// One command of the manager: the shape of its command line, its entry in the usage, and the
// function that runs it. The one table of these drives parsing, help and dispatch alike.
struct ManagerCommand {
  std::string_view name;
  std::size_t arguments;           // that it needs
  std::size_t optional_arguments;  // that may follow those
  std::string_view value_options;  // blank-separated names of the "--name value" options
  std::string_view flags;          // blank-separated names of the "--name" options
  std::string_view synopsis;       // its usage line
  // What it does, in lines. Neighbours with the same text share one entry of the usage, their
  // synopses joined by " | ".
  std::string_view text;
  int (*run)(Manager& manager, const ManagerArgs& args);
};

// Every command, in the order of the usage.
std::span<const ManagerCommand> ManagerCommands();

// The command of that name (in lower case); null when there is none.
const ManagerCommand* FindManagerCommand(std::string_view name);

}  // namespace gandry
