#include "manager/command_line.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <utility>

#include "common/ascii_text.h"
#include "common/product_names.h"
#include "common/product_version.h"
#include "manager/command_table.h"

namespace gandry {

namespace {

constexpr std::string_view kProgram = "gandry-manager";

bool ListNames(std::string_view list, std::string_view name) {
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(' ', begin);
    if (end == std::string_view::npos) {
      end = list.size();
    }
    if (list.substr(begin, end - begin) == name) {
      return true;
    }
    begin = end + 1;
  }
  return false;
}

ParsedArgs Error(std::string message, std::string command = {}) {
  return {std::nullopt, std::move(message), std::move(command)};
}

// Each line of `text` after `indent`.
void AppendIndented(std::string& out, std::string_view text, std::size_t indent) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    out.append(indent, ' ');
    out.append(text.substr(begin, end - begin));
    out += '\n';
    begin = end + 1;
  }
}

}  // namespace

ParsedArgs ParseManagerArgs(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    return Error("No command given.");
  }
  std::string command = ToLower(arguments[0]);
  if (command == "--help" || command == "-h" || command == "/?") {
    command = "help";
  } else if (command == "--version") {
    command = "version";
  }
  const ManagerCommand* shape = FindManagerCommand(command);
  if (shape == nullptr) {
    return Error("Unknown command \"" + arguments[0] + "\".");
  }
  ManagerArgs args;
  args.command = command;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
      args.arguments.push_back(word);
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name =
        ToLower(word.substr(2, equals == std::string::npos ? word.npos : equals - 2));
    std::string value;
    if (ListNames(shape->value_options, name)) {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        return Error("The option --" + name + " needs a value.", command);
      }
    } else if (ListNames(shape->flags, name)) {
      if (equals != std::string::npos) {
        return Error("The option --" + name + " takes no value.", command);
      }
    } else {
      std::string message = "The command " + command + " has no option \"";
      message += word + "\".";
      return Error(std::move(message), command);
    }
    if (!args.options.emplace(name, value).second) {
      return Error("The option --" + name + " is given twice.", command);
    }
  }
  const std::size_t most = shape->arguments + shape->optional_arguments;
  if (args.arguments.size() < shape->arguments || args.arguments.size() > most) {
    return Error("The command " + command + " takes " +
                     (shape->optional_arguments != 0 ? "at most " : "") +
                     (most == 0 ? std::string("no") : std::to_string(most)) +
                     (most == 1 ? " argument" : " arguments") + ", not " +
                     std::to_string(args.arguments.size()) + ".",
                 command);
  }
  if (command == "help" && !args.arguments.empty() &&
      FindManagerCommand(ToLower(args.arguments[0])) == nullptr) {
    return Error("Unknown command \"" + args.arguments[0] + "\".", command);
  }
  return {std::move(args), {}, {}, shape};
}

std::string ManagerUsage() {
  std::string usage = "Usage: ";
  usage += kProgram;
  usage +=
      " COMMAND [ARGUMENTS] [OPTIONS]\n"
      "Manages the Gandry watchdog service ";
  usage += kServiceName;
  usage += ", and the ";
  usage += kWatchdogFileName;
  usage += " and ";
  usage += kIniFileName;
  usage +=
      "\n"
      "in the folder of this program.\n"
      "\n";
  constexpr std::size_t kTextColumn = 24;
  const std::span<const ManagerCommand> commands = ManagerCommands();
  for (std::size_t i = 0; i < commands.size(); ++i) {
    // Neighbours with the same text make one entry.
    std::string synopsis(commands[i].synopsis);
    while (i + 1 < commands.size() && commands[i + 1].text == commands[i].text) {
      synopsis += " | ";
      synopsis += commands[++i].synopsis;
    }
    const std::size_t length = 2 + synopsis.size();
    usage += "  ";
    usage += synopsis;
    std::string_view text = commands[i].text;
    if (length + 2 <= kTextColumn) {
      // The first line of the text beside the synopsis, the others below it.
      const std::size_t end = std::min(text.find('\n'), text.size());
      usage.append(kTextColumn - length, ' ');
      usage.append(text.substr(0, end));
      usage += '\n';
      text.remove_prefix(std::min(end + 1, text.size()));
    } else {
      usage += '\n';
    }
    AppendIndented(usage, text, kTextColumn);
  }
  usage +=
      "\n"
      "add, remove, health and set reload a running watchdog unless --no-reload is given.\n"
      "Exit codes: 0 done or no problem found, 1 failed or problems found, 2 bad command "
      "line,\n"
      "3 Gandry.ini changed but the running watchdog not reloaded.\n";
  return usage;
}

std::string CommandUsage(const std::string& command) {
  const ManagerCommand* shape = FindManagerCommand(command);
  if (shape == nullptr) {
    return ManagerUsage();
  }
  std::string usage = "Usage: ";
  usage += kProgram;
  usage += ' ';
  usage += shape->synopsis;
  usage += '\n';
  AppendIndented(usage, shape->text, 2);
  return usage;
}

std::string ManagerVersionLine() {
  std::string line(kProgram);
  line += ' ';
  line += kProductVersion;
  line += '\n';
  return line;
}

}  // namespace gandry
