#include "manager/check.h"

#include <set>
#include <string>
#include <vector>

#include "common/ascii_text.h"
#include "common/command_line.h"
#include "common/delay_rule.h"
#include "manager/install.h"
#include "manager/items.h"
#include "watchdog/config.h"
#include "watchdog/log.h"
#include "watchdog/service_control.h"
#include "watchdog/zt_utils.h"

namespace gandry {

namespace {

class Findings {
 public:
  explicit Findings(Manager& manager) : manager_(manager) {}
  void Problem(const std::string& text) {
    manager_.out << text << '\n';
    ++count_;
  }
  void Note(const std::string& text) { manager_.out << "Note: " << text << '\n'; }
  int count() const { return count_; }

 private:
  Manager& manager_;
  int count_ = 0;
};

void CheckSettings(IniFile& ini, Findings& findings) {
  for (const DelaySetting& setting : kDelaySettings) {
    const std::string text = ini.ReadValue("Settings", setting.key);
    if (AcceptedDelay(ParseIntComplete(text))) {
      continue;
    }
    const std::string what = text.empty() ? "is missing" : "is \"" + text + "\"";
    findings.Problem("[Settings] " + std::string(setting.key) + " " + what +
                     ": the watchdog resets it to " + std::to_string(setting.default_seconds) +
                     ". Set it with \"gandry-manager set " + setting.key + " SECONDS\" (" +
                     std::to_string(kDelayMinSeconds) + " to " + std::to_string(kDelayMaxSeconds) +
                     ").");
  }
  const std::string mode(Trim(ini.ReadValue("Settings", kWatchModeKey)));
  if (!mode.empty() && !EqualsNoCase(mode, kWatchModePoll) && !IsNotifyMode(mode)) {
    findings.Problem("[Settings] WatchMode is \"" + mode +
                     "\": the watchdog polls. Set it with \"gandry-manager set WatchMode "
                     "poll\" or \"... notify\".");
  }
}

void CheckItems(Manager& manager, IniFile& ini, Findings& findings) {
  std::set<std::string> seen;
  for (const Item& item : ReadItems(ini)) {
    const std::string line = item.key + "=" + item.value;
    if (item.service.empty()) {
      findings.Problem(line + " names no service. Remove the line or put a service name first.");
      continue;
    }
    if (!seen.insert(ToLower(item.service)).second) {
      findings.Problem(line + " watches \"" + item.service +
                       "\" a second time; two monitors would fight over it. Remove the line.");
      continue;
    }
    if (EqualsNoCase(item.service, kServiceName)) {
      findings.Problem(line +
                       " watches the watchdog itself. Remove the line (\"gandry-manager "
                       "remove " +
                       item.service + "\").");
      continue;
    }
    const std::optional<std::int32_t> attempts = ItemNumber(item.attempts);
    const std::optional<std::int32_t> period = ItemNumber(item.period);
    if (!attempts) {
      findings.Problem(line + ": the attempts \"" + item.attempts +
                       "\" are not a whole number. Write a number of attempts, or 0.");
    }
    if (!period) {
      findings.Problem(line + ": the period \"" + item.period +
                       "\" is not a whole number of minutes. Write one, or 0.");
    }
    if (attempts && period && *attempts == 0 && *period == 0) {
      findings.Problem(line +
                       " has 0 attempts and no period, so it watches nothing. Give attempts, a "
                       "period, or remove the line.");
    }
    Result<ServiceRegistration> registration = manager.platform.setup.Query(item.service);
    if (!registration && registration.error().code == kErrorServiceDoesNotExist) {
      findings.Problem(line + ": the system has no service \"" + item.service +
                       "\". Use the service's key name (\"sc.exe query\" shows it after "
                       "SERVICE_NAME), or remove the line.");
    } else if (!registration) {
      findings.Problem(line + ": cannot look up the service \"" + item.service +
                       "\": " + manager.Explain(registration.error()));
    } else if (registration->start_type == StartType::kDisabled) {
      findings.Problem(line + ": the service \"" + item.service +
                       "\" is disabled, so it cannot be started. Enable it, or remove the line.");
    }
  }
}

// Splits a registered command line into the program and the rest; `quoted` tells whether the
// program was in quotes. An unquoted program is this folder's gandry.svc when the line begins
// with it, and otherwise the first word.
struct RegisteredCommand {
  std::string program;
  std::string arguments;
  bool quoted = false;
};

RegisteredCommand SplitRegistered(const std::string& line, const std::string& expected_program) {
  RegisteredCommand command;
  std::size_t rest = 0;
  if (!line.empty() && line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    command.quoted = true;
    command.program = line.substr(1, close == std::string::npos ? line.npos : close - 1);
    rest = close == std::string::npos ? line.size() : close + 1;
  } else if (EqualsNoCase(line.substr(0, expected_program.size()), expected_program) &&
             (line.size() == expected_program.size() || line[expected_program.size()] == ' ')) {
    command.program = expected_program;
    rest = expected_program.size();
  } else {
    rest = std::min(line.find(' '), line.size());
    command.program = line.substr(0, rest);
  }
  command.arguments = std::string(Trim(std::string_view(line).substr(rest)));
  return command;
}

void CheckService(Manager& manager, Findings& findings) {
  Result<ServiceRegistration> registration = manager.platform.setup.Query(kServiceName);
  if (!registration) {
    if (registration.error().code == kErrorServiceDoesNotExist) {
      findings.Problem("The service \"" + std::string(kServiceName) +
                       "\" is not installed. Run \"gandry-manager install\".");
    } else {
      findings.Problem("Cannot look up the service \"" + std::string(kServiceName) +
                       "\": " + manager.Explain(registration.error()));
    }
    return;
  }
  const std::string repair = " Run \"gandry-manager install\" to repair it.";
  const RegisteredCommand command =
      SplitRegistered(registration->command_line, manager.watchdog_path);
  if (!command.quoted) {
    findings.Problem("The service runs " + registration->command_line +
                     " with its path unquoted: Windows may run another program named by the "
                     "path's first words." +
                     repair);
  }
  if (!EqualsNoCase(command.program, manager.watchdog_path)) {
    findings.Problem("The service runs " + command.program + ", not this " + manager.watchdog_path +
                     "." + repair);
  }
  // Parsed as the watchdog parses its own command line.
  std::vector<std::string> args = SplitCommandLine("x " + command.arguments);
  args[0] = command.program;
  RunMode mode = kNoRunMode;
  if (parseCommandLine(args, mode) || mode != kServiceMode) {
    findings.Problem("The service starts the watchdog with \"" + command.arguments +
                     "\" instead of \"-service\", so it cannot run as a service." + repair);
  }
  // A system that cannot tell the recovery actions (Wine has none) leaves nothing to report.
  const Result<FailureActions> recovery = manager.platform.recovery.Query(kServiceName);
  if (recovery && recovery->restart_delays.empty()) {
    findings.Problem(
        "The service has no recovery actions: Windows does not restart the "
        "watchdog when it fails." +
        repair);
  }
}

void CheckEventSource(Manager& manager, Findings& findings) {
  Result<std::optional<EventSourceRegistration>> source =
      manager.platform.sources.Query(kEventSource);
  const std::string repair = " Run \"gandry-manager install\" to register it.";
  if (!source) {
    findings.Problem("Cannot read the event source \"" + std::string(kEventSource) +
                     "\": " + manager.Explain(source.error()));
  } else if (!*source) {
    findings.Problem("The event source \"" + std::string(kEventSource) +
                     "\" is missing: the event log shows the watchdog's events without their "
                     "text." +
                     repair);
  } else if (!EqualsNoCase((*source)->message_file, manager.watchdog_path)) {
    findings.Problem("The event source \"" + std::string(kEventSource) +
                     "\" takes its texts from " + (*source)->message_file + ", not from " +
                     manager.watchdog_path + "." + repair);
  } else if ((*source)->types_supported != kEventTypesSupported) {
    findings.Problem("The event source \"" + std::string(kEventSource) + "\" supports the types " +
                     std::to_string((*source)->types_supported) + ", not " +
                     std::to_string(kEventTypesSupported) + "." + repair);
  }
}

void CheckPermissions(Manager& manager, Findings& findings, bool ini_exists) {
  const std::vector<std::pair<std::string, std::string>> objects = [&] {
    std::vector<std::pair<std::string, std::string>> list{
        {"The folder " + manager.folder, manager.folder}};
    if (ini_exists) {
      list.insert(list.begin(), {manager.ini_path, manager.ini_path});
    }
    return list;
  }();
  for (const auto& [what, path] : objects) {
    Result<std::vector<std::string>> others = manager.platform.access.OthersWhoMayWrite(path);
    if (!others) {
      findings.Note("cannot tell who may change " + path + ": " + manager.Explain(others.error()));
      continue;
    }
    if (others->empty()) {
      continue;
    }
    std::string message = what + " may be changed by ";
    for (std::size_t i = 0; i < others->size(); ++i) {
      message += (i == 0 ? "" : ", ") + (*others)[i];
    }
    message +=
        ". Whoever can edit Gandry.ini makes the watchdog, which runs as LocalSystem, stop and "
        "start services: allow only administrators to write there.";
    findings.Problem(message);
  }
}

}  // namespace

int RunCheck(Manager& manager) {
  Findings findings(manager);
  const bool ini_exists = manager.platform.files.Exists(manager.ini_path);
  if (Result<std::unique_ptr<IniFile>> ini = manager.ReadIni(); !ini) {
    findings.Problem("Cannot read " + manager.ini_path + ": " + manager.Explain(ini.error()));
  } else if (!(*ini)->Exists()) {
    findings.Problem("There is no " + manager.ini_path +
                     ". Run \"gandry-manager install\" to create it from the sample.");
  } else {
    CheckSettings(**ini, findings);
    CheckItems(manager, **ini, findings);
  }
  CheckService(manager, findings);
  CheckEventSource(manager, findings);
  CheckPermissions(manager, findings, ini_exists);
  if (findings.count() == 0) {
    manager.out << "No problems found.\n";
    return kExitDone;
  }
  manager.out << findings.count() << (findings.count() == 1 ? " problem" : " problems")
              << " found.\n";
  return kExitFailed;
}

}  // namespace gandry
