#include "shell/child_command.h"

#include <algorithm>

namespace gandry {

namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The command-line split treats every character from 1 to 32 as a separator, and a double
// quote as grouping; such a path must be quoted to stay one argument.
bool NeedsQuotes(std::string_view path) {
  return path.empty() || std::any_of(path.begin(), path.end(), [](char c) {
           const auto u = static_cast<unsigned char>(c);
           return u <= 32;
         });
}

}  // namespace

std::string ChildProgramPath(std::string_view own_path) {
  std::string path(own_path);
  std::transform(path.begin(), path.end(), path.begin(), LowerAscii);
  const std::size_t separator = path.find_last_of("\\/:");
  const std::size_t name_start = separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot >= name_start) {
    path.erase(dot);
  }
  return path + ".svc";
}

ChildCommand BuildShellCommandLine(std::string_view own_path,
                                   const std::vector<std::string>& args) {
  ChildCommand command;
  command.application = ChildProgramPath(own_path);
  command.command_line =
      NeedsQuotes(command.application) ? "\"" + command.application + "\"" : command.application;
  for (std::size_t i = 1; i < args.size(); ++i) {
    command.command_line += ' ';
    command.command_line += args[i];
  }
  return command;
}

}  // namespace gandry
