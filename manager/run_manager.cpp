#include "manager/run_manager.h"

#include "manager/command_line.h"
#include "manager/command_table.h"

namespace gandry {

int RunManager(ManagerPlatform& platform, const std::string& own_path,
               const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const ParsedArgs parsed = ParseManagerArgs(arguments);
  if (!parsed.args) {
    err << parsed.error << '\n';
    err << CommandUsage(parsed.command);
    return kExitUsage;
  }
  Manager manager(platform, own_path, out, err);
  return parsed.row->run(manager, *parsed.args);
}

}  // namespace gandry
