#include "manager/manager.h"

#include "common/ascii_text.h"
#include "watchdog/config.h"

namespace gandry {

Manager::Manager(ManagerPlatform& platform_in, const std::string& own_path, std::ostream& out_in,
                 std::ostream& err_in)
    : platform(platform_in),
      folder(DirectoryOf(own_path)),
      watchdog_path(folder + kWatchdogFileName),
      ini_path(folder + kIniFileName),
      out(out_in),
      err(err_in) {}

std::string Manager::SystemText(SystemError error) {
  std::string text(Trim(platform.errors.Text(error.code)));
  while (!text.empty() && text.back() == '.') {
    text.pop_back();
  }
  if (text.empty()) {
    text = "System error " + std::to_string(error.code);
  }
  return text;
}

std::string Manager::Explain(SystemError error) {
  std::string text = SystemText(error) + '.';
  if (error.code == kErrorAccessDenied) {
    text += " Run gandry-manager from an elevated prompt (Run as administrator).";
  }
  return text;
}

int Manager::Fail(const std::string& what, SystemError error) {
  err << what << ": " << Explain(error) << '\n';
  return kExitFailed;
}

}  // namespace gandry
