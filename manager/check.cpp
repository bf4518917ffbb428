#include "manager/check.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/ascii_text.h"
#include "common/command_line.h"
#include "common/delay_rule.h"
#include "common/ini_model.h"
#include "common/parse_text.h"
#include "common/product_names.h"
#include "manager/install.h"
#include "manager/items.h"
#include "manager/json_output.h"

namespace gandry {

namespace {

// What check found: a problem fails the check, a note does not. The codes are for scripts
// (check --json) and never change meaning.
struct Finding {
  std::string code;
  bool problem = true;
  std::string text;
};

class Findings {
 public:
  void Problem(std::string code, std::string text) {
    list_.push_back({std::move(code), true, std::move(text)});
    ++problems_;
  }
  void Note(std::string code, std::string text) {
    list_.push_back({std::move(code), false, std::move(text)});
  }
  const std::vector<Finding>& list() const { return list_; }
  int problems() const { return problems_; }
  int notes() const { return static_cast<int>(list_.size()) - problems_; }

 private:
  std::vector<Finding> list_;
  int problems_ = 0;
};

void CheckSettings(IniFile& ini, Findings& findings) {
  for (const DelaySetting& setting : kDelaySettings) {
    const std::string text = ini.ReadValue(kSettingsSection, setting.key);
    const std::optional<std::int32_t> parsed = ParseIntComplete(text);
    // A missing or empty value is the documented default, which the watchdog adds by itself.
    if (text.empty() || !DelayNeedsWriteBack(parsed, setting)) {
      continue;
    }
    findings.Problem("delay-replaced",
                     "[Settings] " + std::string(setting.key) + " is \"" + text +
                         "\": the watchdog uses " + std::to_string(DelayInEffect(parsed, setting)) +
                         " instead and writes that into the file. Set it with \"gandry-manager "
                         "set " +
                         setting.key + " SECONDS\" (" + std::to_string(kDelayMinSeconds) + " to " +
                         std::to_string(kDelayMaxSeconds) + ").");
  }
  const std::string mode(Trim(ini.ReadValue(kSettingsSection, kWatchModeKey)));
  if (!mode.empty() && !ParseWatchMode(mode)) {
    findings.Problem("watch-mode-unknown",
                     "[Settings] WatchMode is \"" + mode +
                         "\": the watchdog polls. Set it with \"gandry-manager set WatchMode "
                         "poll\" or \"... notify\".");
  }
}

// A metrics file whose folder does not exist cannot be written; the watchdog would say so once
// and go on without it.
void CheckMetricsFile(Manager& manager, IniFile& ini, Findings& findings) {
  const std::string path =
      MetricsFilePath(ini.ReadValue(kSettingsSection, kMetricsFileKey), manager.folder);
  const std::string folder = DirectoryOf(path);
  if (!path.empty() && !folder.empty() && !manager.platform.files.Exists(folder)) {
    findings.Problem("metrics-folder-missing", "[Settings] MetricsFile is \"" + path +
                                                   "\", but there is no folder " + folder +
                                                   ": the watchdog cannot write the file.");
  }
}

// The findings about one item's fields, before its service is looked up.
void CheckItemFields(const Item& item, const std::string& line, Findings& findings) {
  const std::optional<std::int32_t> attempts = ItemNumber(item.attempts);
  const std::optional<std::int32_t> period = ItemNumber(item.period);
  if (!attempts) {
    findings.Problem("item-attempts-not-number",
                     line + ": the attempts \"" + item.attempts +
                         "\" are not a whole number. Write a number of attempts, or 0.");
  }
  if (!period) {
    findings.Problem("item-period-not-number",
                     line + ": the period \"" + item.period +
                         "\" is not a whole number of minutes. Write one, or 0.");
  } else if (*period < 0) {
    findings.Problem("item-period-negative",
                     line +
                         ": a negative period restarts the service on every pass (meant for "
                         "tests). Write a number of minutes, or 0.");
  }
  if (attempts && period && *attempts <= 0 && *period == 0) {
    findings.Problem("item-watches-nothing",
                     line +
                         " has no attempts and no period, so it watches nothing. Give "
                         "attempts, a period, or remove the line.");
  }
  if (item.cut) {
    findings.Problem("item-too-long",
                     line +
                         "... is longer than 200 characters: the watchdog reads only the first "
                         "200, so whatever follows is cut off. Shorten the note.");
  }
}

void CheckItems(Manager& manager, const std::vector<Item>& items, Findings& findings) {
  if (items.empty()) {
    findings.Note("no-items",
                  "Gandry.ini lists no items: the watchdog would stop at once when started "
                  "(\"Nothing to do. Exiting.\"). Add the first with \"gandry-manager add "
                  "SERVICE\".");
  }
  std::set<std::string> seen;
  for (const Item& item : items) {
    const std::string line = item.key + "=" + item.value;
    if (item.lines > 1) {
      findings.Problem("item-key-repeated",
                       item.key + " is on " + std::to_string(item.lines) +
                           " lines of [Services]: the watchdog reads only the first (" + line +
                           "), and never the others. Give each line a key of its own.");
    }
    if (item.service.empty()) {
      findings.Problem("item-no-service",
                       line + " names no service. Remove the line or put a service name first.");
      continue;
    }
    if (!seen.insert(ToLower(item.service)).second) {
      findings.Problem("item-service-repeated",
                       line + " watches \"" + item.service +
                           "\" a second time; two monitors would fight over it. Remove the "
                           "line.");
      continue;
    }
    if (EqualsNoCase(item.service, kServiceName)) {
      findings.Problem("item-watches-watchdog", line +
                                                    " watches the watchdog itself. Remove the "
                                                    "line (\"gandry-manager remove " +
                                                    item.service + "\").");
      continue;
    }
    CheckItemFields(item, line, findings);
    Result<ServiceRegistration> registration = manager.platform.setup.Query(item.service);
    if (!registration && registration.error().kind == ErrorKind::kNoSuchService) {
      findings.Problem("item-service-unknown",
                       line + ": the system has no service \"" + item.service +
                           "\". Use the service's key name (\"sc.exe query\" shows it after "
                           "SERVICE_NAME), or remove the line.");
    } else if (!registration) {
      findings.Problem("item-service-lookup-failed",
                       line + ": cannot look up the service \"" + item.service +
                           "\": " + manager.Explain(registration.error()));
    } else if (registration->start_type == StartType::kDisabled) {
      findings.Problem("item-service-disabled",
                       line + ": the service \"" + item.service +
                           "\" is disabled, so it cannot be started. Enable it, or remove the "
                           "line.");
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
    if (registration.error().kind == ErrorKind::kNoSuchService) {
      findings.Problem("service-not-installed",
                       "The service \"" + std::string(kServiceName) +
                           "\" is not installed. Run \"gandry-manager install\".");
    } else {
      findings.Problem("service-lookup-failed", "Cannot look up the service \"" +
                                                    std::string(kServiceName) +
                                                    "\": " + manager.Explain(registration.error()));
    }
    return;
  }
  const std::string repair = " Run \"gandry-manager install\" to repair it.";
  const RegisteredCommand command =
      SplitRegistered(registration->command_line, manager.watchdog_path);
  // Only a blank lets Windows try a shorter path first.
  if (!command.quoted && command.program.find(' ') != std::string::npos) {
    findings.Problem("service-path-unquoted",
                     "The service runs " + registration->command_line +
                         " with its path unquoted: Windows may run another program named by "
                         "the path's first words." +
                         repair);
  }
  if (!EqualsNoCase(command.program, manager.watchdog_path)) {
    findings.Problem("service-other-program", "The service runs " + command.program +
                                                  ", not this " + manager.watchdog_path + "." +
                                                  repair);
  }
  // Parsed as the watchdog parses its own command line.
  std::vector<std::string> args = SplitCommandLine("x " + command.arguments);
  args[0] = command.program;
  if (parseCommandLine(args) != kServiceMode) {
    findings.Problem("service-arguments",
                     "The service starts the watchdog with \"" + command.arguments +
                         "\" instead of \"-service\", so it cannot run as a service." + repair);
  }
  // A system that cannot tell the recovery actions (Wine has none) leaves nothing to report.
  const Result<FailureActions> recovery = manager.platform.recovery.Query(kServiceName);
  if (recovery && recovery->restart_delays.empty()) {
    findings.Problem("service-no-recovery",
                     "The service has no recovery actions: Windows does not restart the "
                     "watchdog when it fails." +
                         repair);
  }
}

void CheckEventSource(Manager& manager, Findings& findings) {
  Result<std::optional<EventSourceRegistration>> source =
      manager.platform.sources.Query(kEventSource);
  const std::string name = "The event source \"" + std::string(kEventSource) + "\"";
  const std::string repair = " Run \"gandry-manager install\" to register it.";
  if (!source) {
    findings.Problem("event-source-unreadable", "Cannot read the event source \"" +
                                                    std::string(kEventSource) +
                                                    "\": " + manager.Explain(source.error()));
  } else if (!*source) {
    findings.Problem("event-source-missing",
                     name +
                         " is missing: the event log shows the watchdog's events without their "
                         "text." +
                         repair);
  } else if (!EqualsNoCase((*source)->message_file, manager.watchdog_path)) {
    findings.Problem("event-source-other-file", name + " takes its texts from " +
                                                    (*source)->message_file + ", not from " +
                                                    manager.watchdog_path + "." + repair);
  } else if ((*source)->types_supported != kEventTypesSupported) {
    findings.Problem("event-source-types",
                     name + " supports the types " + std::to_string((*source)->types_supported) +
                         ", not " + std::to_string(kEventTypesSupported) + "." + repair);
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
      findings.Note("write-access-unknown",
                    "cannot tell who may change " + path + ": " + manager.Explain(others.error()));
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
    findings.Problem("write-access", message);
  }
}

void PrintText(Manager& manager, const Findings& findings) {
  for (const Finding& finding : findings.list()) {
    manager.out << (finding.problem ? "" : "Note: ") << finding.text << '\n';
  }
  if (findings.problems() > 0) {
    manager.out << findings.problems() << (findings.problems() == 1 ? " problem" : " problems")
                << " found.\n";
  } else if (findings.notes() > 0) {
    manager.out << "No problems found (" << findings.notes() << " note(s)).\n";
  } else {
    manager.out << "No problems found.\n";
  }
}

void PrintDocument(Manager& manager, const Findings& findings) {
  nlohmann::ordered_json document;
  document["ini"] = manager.ini_path;
  document["problems"] = findings.problems();
  document["notes"] = findings.notes();
  document["findings"] = nlohmann::ordered_json::array();
  for (const Finding& finding : findings.list()) {
    document["findings"].push_back({{"code", finding.code},
                                    {"severity", finding.problem ? "problem" : "note"},
                                    {"text", finding.text}});
  }
  PrintJson(manager, std::move(document));
}

}  // namespace

int RunCheck(Manager& manager, const ManagerArgs& args) {
  Findings findings;
  const bool ini_exists = manager.platform.files.Exists(manager.ini_path);
  std::optional<std::vector<Item>> items;
  if (Result<std::unique_ptr<IniFile>> ini = manager.ReadIni(); !ini) {
    findings.Problem(
        ini.error().code == kErrorIniByteOrderMark ? "ini-byte-order-mark" : "ini-unreadable",
        "The watchdog cannot read " + manager.ini_path + ": " + manager.Explain(ini.error()));
  } else if (!(*ini)->Exists()) {
    findings.Problem("ini-missing",
                     "There is no " + manager.ini_path +
                         ". Run \"gandry-manager install\" to create it from the sample.");
  } else {
    CheckSettings(**ini, findings);
    CheckMetricsFile(manager, **ini, findings);
    items = ReadItems(**ini);
  }
  // Looked up with the file closed again: the watchdog may want to write it meanwhile.
  if (items) {
    CheckItems(manager, *items, findings);
  }
  CheckService(manager, findings);
  CheckEventSource(manager, findings);
  CheckPermissions(manager, findings, ini_exists);
  if (args.Has("json")) {
    PrintDocument(manager, findings);
  } else {
    PrintText(manager, findings);
  }
  return findings.problems() > 0 ? kExitFailed : kExitDone;
}

}  // namespace gandry
