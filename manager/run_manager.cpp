#include "manager/run_manager.h"

#include "common/ascii_text.h"
#include "manager/check.h"
#include "manager/command_line.h"
#include "manager/control.h"
#include "manager/install.h"
#include "manager/items.h"
#include "manager/status.h"

namespace gandry {

int RunManager(ManagerPlatform& platform, const std::string& own_path,
               const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const ParsedArgs parsed = ParseManagerArgs(arguments);
  if (!parsed.args) {
    err << parsed.error << '\n';
    err << CommandUsage(parsed.command);
    return kExitUsage;
  }
  const ManagerArgs& args = *parsed.args;
  const std::string& command = args.command;
  if (command == "help") {
    out << (args.arguments.empty() ? ManagerUsage() : CommandUsage(ToLower(args.arguments[0])));
    return kExitDone;
  }
  if (command == "version") {
    out << ManagerVersionLine();
    return kExitDone;
  }
  Manager manager(platform, own_path, out, err);
  if (command == "install") {
    return RunInstall(manager, args);
  }
  if (command == "uninstall") {
    return RunUninstall(manager);
  }
  if (command == "status") {
    return RunStatus(manager, args);
  }
  if (command == "list") {
    return RunList(manager);
  }
  if (command == "add") {
    return RunAdd(manager, args);
  }
  if (command == "remove") {
    return RunRemove(manager, args);
  }
  if (command == "set") {
    return RunSet(manager, args);
  }
  if (command == "check") {
    return RunCheck(manager, args);
  }
  return RunControl(manager, command);
}

}  // namespace gandry
