#include "manager/command_table.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "manager/check.h"
#include "manager/control.h"
#include "manager/health.h"
#include "manager/install.h"
#include "manager/items.h"
#include "manager/status.h"

namespace gandry {

namespace {

int RunHelp(Manager& manager, const ManagerArgs& args) {
  manager.out << (args.arguments.empty() ? ManagerUsage()
                                         : CommandUsage(ToLower(args.arguments[0])));
  return kExitDone;
}

int RunVersion(Manager& manager, const ManagerArgs& /*args*/) {
  manager.out << ManagerVersionLine();
  return kExitDone;
}

template <ControlCommand kControl>
int RunControlCommand(Manager& manager, const ManagerArgs& /*args*/) {
  return RunControl(manager, kControl);
}

constexpr std::string_view kControlText =
    "control the service and wait for it (at most 60 seconds)";

constexpr ManagerCommand kCommands[] = {
    {"install", 0, 0, "start", "no-start",
     "install [--start auto|delayed-auto|demand] [--no-start]",
     "register the service and its event source (or repair them),\n"
     "create Gandry.ini from the sample if there is none, start it",
     RunInstall},
    {"uninstall", 0, 0, "", "", "uninstall",
     "stop and delete the service and its event source; Gandry.ini\nis kept",
     [](Manager& manager, const ManagerArgs& /*args*/) { return RunUninstall(manager); }},
    {"start", 0, 0, "", "", "start", kControlText, RunControlCommand<ControlCommand::kStart>},
    {"stop", 0, 0, "", "", "stop", kControlText, RunControlCommand<ControlCommand::kStop>},
    {"pause", 0, 0, "", "", "pause", kControlText, RunControlCommand<ControlCommand::kPause>},
    {"continue", 0, 0, "", "", "continue", kControlText,
     RunControlCommand<ControlCommand::kContinue>},
    {"restart", 0, 0, "", "", "restart", kControlText, RunControlCommand<ControlCommand::kRestart>},
    {"reload", 0, 0, "", "", "reload", "make the running watchdog read Gandry.ini again",
     RunControlCommand<ControlCommand::kReload>},
    {"status", 0, 0, "", "json", "status [--json]",
     "the watchdog's state and that of every watched service", RunStatus},
    {"list", 0, 0, "", "", "list", "the items of Gandry.ini: key, service, attempts, period",
     [](Manager& manager, const ManagerArgs& /*args*/) { return RunList(manager); }},
    {"add", 1, 0, "attempts restart-every check interval timeout failures grace", "force no-reload",
     "add SERVICE [--attempts N] [--restart-every MINUTES] [--check CHECK\n"
     "    [--interval S] [--timeout S] [--failures N] [--grace S]] [--force] [--no-reload]",
     "watch a service (3 attempts and no period unless given), and\n"
     "with --check its health as the command health sets it;\n"
     "--force adds a service that the system does not know",
     RunAdd},
    {"remove", 1, 0, "", "no-reload", "remove SERVICE [--no-reload]", "stop watching a service",
     RunRemove},
    {"health", 2, 0, "interval timeout failures grace", "no-reload",
     "health SERVICE CHECK [--interval S] [--timeout S] [--failures N]\n"
     "    [--grace S] [--no-reload] | health SERVICE off [--no-reload]",
     "check a listed service's health. CHECK is tcp://HOST:PORT,\n"
     "http://HOST[:PORT]/PATH, https://... or exec:COMMAND LINE.\n"
     "One check every --interval (5 to 3600 s, default 30), each\n"
     "within --timeout (1 to 60 s, below the interval, default 5);\n"
     "--failures (1 to 100, default 3) failed in a row restart the\n"
     "service; none count for --grace (0 to 3600 s, default 60)\n"
     "after it starts. off removes the check",
     RunHealth},
    {"set", 2, 0, "", "no-reload", "set KEY VALUE [--no-reload]",
     "set LoopDelayThread, LoopDelayService or StartDelayThread\n"
     "(5 to 120 seconds), WatchMode (poll or notify),\n"
     "HungServices (kill or leave), Events (classic or detailed)\n"
     "or MetricsFile (a path, \"\" for none)",
     RunSet},
    {"check", 0, 0, "", "json", "check [--json]",
     "look for problems in the set-up and say what to do", RunCheck},
    {"version", 0, 0, "", "", "version | --version", "the version of this program", RunVersion},
    {"help", 0, 1, "", "", "help [COMMAND] | --help | -h | /?",
     "this text, or the usage of one command", RunHelp},
};

}  // namespace

std::span<const ManagerCommand> ManagerCommands() {
  return kCommands;
}

const ManagerCommand* FindManagerCommand(std::string_view name) {
  const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const ManagerCommand& c) { return c.name == name; });
  return command == std::end(kCommands) ? nullptr : command;
}

}  // namespace gandry
