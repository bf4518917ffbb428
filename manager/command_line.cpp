#include "manager/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "common/ascii_text.h"

namespace gandry {

namespace {

struct CommandShape {
  std::string_view name;
  std::size_t arguments;
  std::string_view value_options;  // blank-separated
  std::string_view flags;
};

constexpr std::array<CommandShape, 15> kCommands{{
    {"help", 0, "", ""},
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

ParsedArgs Error(std::string message) {
  return {std::nullopt, std::move(message)};
}

}  // namespace

ParsedArgs ParseManagerArgs(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    return Error("No command given.");
  }
  const std::string command = ToLower(arguments[0]);
  const auto shape = std::find_if(kCommands.begin(), kCommands.end(),
                                  [&](const CommandShape& s) { return s.name == command; });
  if (shape == kCommands.end()) {
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
        return Error("The option --" + name + " needs a value.");
      }
    } else if (ListNames(shape->flags, name)) {
      if (equals != std::string::npos) {
        return Error("The option --" + name + " takes no value.");
      }
    } else {
      std::string message = "The command " + command + " has no option \"";
      message += word + "\".";
      return Error(std::move(message));
    }
    if (!args.options.emplace(name, value).second) {
      return Error("The option --" + name + " is given twice.");
    }
  }
  if (args.arguments.size() != shape->arguments) {
    return Error("The command " + command + " takes " +
                 (shape->arguments == 0 ? std::string("no") : std::to_string(shape->arguments)) +
                 (shape->arguments == 1 ? " argument" : " arguments") + ", not " +
                 std::to_string(args.arguments.size()) + ".");
  }
  return {std::move(args), {}};
}

const char* ManagerUsage() {
  return "Usage: gandry-manager COMMAND [ARGUMENTS] [OPTIONS]\n"
         "Manages the Gandry watchdog service zt-gandry-demon, and the gandry.svc and Gandry.ini\n"
         "in the folder of this program.\n"
         "\n"
         "  install [--start auto|delayed-auto|demand] [--no-start]\n"
         "                        register the service and its event source (or repair them),\n"
         "                        create Gandry.ini from the sample if there is none, start it\n"
         "  uninstall             stop and delete the service and its event source; Gandry.ini\n"
         "                        is kept\n"
         "  start | stop | pause | continue | restart\n"
         "                        control the service and wait for it (at most 60 seconds)\n"
         "  reload                make the running watchdog read Gandry.ini again\n"
         "  status [--json]       the watchdog's state and that of every watched service\n"
         "  list                  the items of Gandry.ini: key, service, attempts, period\n"
         "  add SERVICE [--attempts N] [--restart-every MINUTES] [--force]\n"
         "                        watch a service (3 attempts and no period unless given);\n"
         "                        --force adds a service that the system does not know\n"
         "  remove SERVICE        stop watching a service\n"
         "  set KEY VALUE         set LoopDelayThread, LoopDelayService or StartDelayThread\n"
         "                        (5 to 120 seconds) or WatchMode (poll or notify)\n"
         "  check [--json]        look for problems in the set-up and say what to do\n"
         "  help                  this text\n"
         "\n"
         "add, remove and set reload a running watchdog unless --no-reload is given.\n"
         "Exit codes: 0 done or no problem found, 1 failed or problems found, 2 bad command "
         "line,\n"
         "3 Gandry.ini changed but the running watchdog not reloaded.\n";
}

}  // namespace gandry
