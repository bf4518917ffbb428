#include "manager/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "common/ascii_text.h"
#include "manager/version.h"

namespace gandry {

namespace {

constexpr std::string_view kProgram = "gandry-manager";

struct CommandShape {
  std::string_view name;
  std::size_t arguments;
  std::string_view value_options;  // blank-separated
  std::string_view flags;
  std::size_t optional_arguments = 0;  // after the others
};

constexpr std::array<CommandShape, 16> kCommands{{
    {"help", 0, "", "", 1},
    {"version", 0, "", ""},
    {"install", 0, "start", "no-start"},
    {"uninstall", 0, "", ""},
    {"start", 0, "", ""},
    {"stop", 0, "", ""},
    {"pause", 0, "", ""},
    {"continue", 0, "", ""},
    {"restart", 0, "", ""},
    {"reload", 0, "", ""},
    {"status", 0, "", "json"},
    {"list", 0, "", ""},
    {"add", 1, "attempts restart-every", "force no-reload"},
    {"remove", 1, "", "no-reload"},
    {"set", 2, "", "no-reload"},
    {"check", 0, "", "json"},
}};

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

const CommandShape* FindCommand(const std::string& command) {
  const auto shape = std::find_if(kCommands.begin(), kCommands.end(),
                                  [&](const CommandShape& s) { return s.name == command; });
  return shape == kCommands.end() ? nullptr : &*shape;
}

// The usage, one entry per command or group of commands.
struct UsageEntry {
  std::string_view commands;  // blank-separated
  std::string_view synopsis;
  std::string_view text;  // lines
};

constexpr UsageEntry kUsage[] = {
    {"install", "install [--start auto|delayed-auto|demand] [--no-start]",
     "register the service and its event source (or repair them),\n"
     "create Gandry.ini from the sample if there is none, start it"},
    {"uninstall", "uninstall",
     "stop and delete the service and its event source; Gandry.ini\nis kept"},
    {"start stop pause continue restart", "start | stop | pause | continue | restart",
     "control the service and wait for it (at most 60 seconds)"},
    {"reload", "reload", "make the running watchdog read Gandry.ini again"},
    {"status", "status [--json]", "the watchdog's state and that of every watched service"},
    {"list", "list", "the items of Gandry.ini: key, service, attempts, period"},
    {"add", "add SERVICE [--attempts N] [--restart-every MINUTES] [--force] [--no-reload]",
     "watch a service (3 attempts and no period unless given);\n"
     "--force adds a service that the system does not know"},
    {"remove", "remove SERVICE [--no-reload]", "stop watching a service"},
    {"set", "set KEY VALUE [--no-reload]",
     "set LoopDelayThread, LoopDelayService or StartDelayThread\n"
     "(5 to 120 seconds) or WatchMode (poll or notify)"},
    {"check", "check [--json]", "look for problems in the set-up and say what to do"},
    {"version", "version | --version", "the version of this program"},
    {"help", "help [COMMAND] | --help | -h | /?", "this text, or the usage of one command"},
};

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
  const CommandShape* shape = FindCommand(command);
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
      FindCommand(ToLower(args.arguments[0])) == nullptr) {
    return Error("Unknown command \"" + args.arguments[0] + "\".", command);
  }
  return {std::move(args), {}, {}};
}

std::string ManagerUsage() {
  std::string usage = "Usage: ";
  usage += kProgram;
  usage +=
      " COMMAND [ARGUMENTS] [OPTIONS]\n"
      "Manages the Gandry watchdog service zt-gandry-demon, and the gandry.svc and Gandry.ini\n"
      "in the folder of this program.\n"
      "\n";
  constexpr std::size_t kTextColumn = 24;
  for (const UsageEntry& entry : kUsage) {
    const std::size_t length = 2 + entry.synopsis.size();
    usage += "  ";
    usage += entry.synopsis;
    std::string_view text = entry.text;
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
      "add, remove and set reload a running watchdog unless --no-reload is given.\n"
      "Exit codes: 0 done or no problem found, 1 failed or problems found, 2 bad command "
      "line,\n"
      "3 Gandry.ini changed but the running watchdog not reloaded.\n";
  return usage;
}

std::string CommandUsage(const std::string& command) {
  for (const UsageEntry& entry : kUsage) {
    if (!ListNames(entry.commands, command)) {
      continue;
    }
    std::string usage = "Usage: ";
    usage += kProgram;
    usage += ' ';
    // A group of commands shows the one asked for.
    usage += entry.commands.find(' ') == std::string_view::npos ? entry.synopsis : command;
    usage += '\n';
    AppendIndented(usage, entry.text, 2);
    return usage;
  }
  return ManagerUsage();
}

std::string ManagerVersionLine() {
  std::string line(kProgram);
  line += ' ';
  line += kProductVersion;
  line += '\n';
  return line;
}

}  // namespace gandry
