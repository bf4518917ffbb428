#include "manager/manager.h"

#include "common/ascii_text.h"
#include "common/ini_access.h"
#include "common/ini_model.h"

namespace gandry {

Manager::Manager(ManagerPlatform& platform_in, const std::string& own_path, std::ostream& out_in,
                 std::ostream& err_in)
    : platform(platform_in),
      folder(DirectoryOf(own_path)),
      watchdog_path(folder + kWatchdogFileName),
      ini_path(folder + kIniFileName),
      out(out_in),
      err(err_in) {}

std::string Manager::SystemText(std::uint32_t code) {
  std::string text(Trim(platform.errors.Text(code)));
  while (!text.empty() && text.back() == '.') {
    text.pop_back();
  }
  if (text.empty()) {
    text = "System error " + std::to_string(code);
  }
  return text;
}

std::string Manager::Explain(SystemError error) {
  if (error.code == kErrorIniByteOrderMark) {
    return "It begins with a UTF-8 byte-order mark, which the profile functions of some Windows "
           "versions take for part of its first line, so that its first section is lost. Save "
           "it without the mark (as ANSI, or UTF-8 without BOM).";
  }
  std::string text = SystemText(error.code) + '.';
  if (error.kind == ErrorKind::kAccessDenied) {
    text += " Run gandry-manager from an elevated prompt (Run as administrator).";
  }
  return text;
}

int Manager::Fail(const std::string& what, SystemError error) {
  err << what << ": " << Explain(error) << '\n';
  return kExitFailed;
}

Result<std::unique_ptr<IniFile>> Manager::ReadIni() {
  return ReadIniFile(platform.ini, platform.clock, ini_path);
}

Result<std::unique_ptr<IniEdit>> Manager::EditIni() {
  return BeginIniEdit(platform.ini, platform.clock, ini_path);
}

}  // namespace gandry
