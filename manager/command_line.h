#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace gandry {

// A manager command line taken apart: the command in lower case, its arguments, and its
// options by name (without the leading "--"), a flag with an empty value.
struct ManagerArgs {
  std::string command;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> options;

  bool Has(const std::string& option) const { return options.contains(option); }
};

struct ManagerCommand;

// Either the parsed command line or why it is not one.
struct ParsedArgs {
  std::optional<ManagerArgs> args;
  std::string error;                    // when there are no args
  std::string command;                  // with an error: the command in lower case, when it is one
  const ManagerCommand* row = nullptr;  // with args: the command's entry of the table
};

// Parses the arguments after the program name. Commands and option names compare in any letter
// case; an option is "--name value" or "--name=value", a flag "--name". "--help", "-h" and "/?"
// are the command "help", which may name a command; "--version" is the command "version".
ParsedArgs ParseManagerArgs(const std::vector<std::string>& arguments);

// The usage text, one entry per command or group of commands.
std::string ManagerUsage();
// The usage of one command (in lower case); the whole usage when it is none.
std::string CommandUsage(const std::string& command);
// "gandry-manager VERSION" and a line end.
std::string ManagerVersionLine();

}  // namespace gandry
