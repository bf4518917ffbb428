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
#include "common/health_check.h"
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
  const std::string hung(Trim(ini.ReadValue(kSettingsSection, kHungServicesKey)));
  if (!hung.empty() && !ParseHungServiceAction(hung)) {
    findings.Problem("hung-services-unknown",
                     "[Settings] HungServices is \"" + hung +
                         "\": the watchdog leaves hung services alone. Set it with "
                         "\"gandry-manager set HungServices kill\" or \"... leave\".");
  }
  const std::string events(Trim(ini.ReadValue(kSettingsSection, kEventsKey)));
  if (!events.empty() && !ParseEventStyle(events)) {
    findings.Problem("events-unknown",
                     "[Settings] Events is \"" + events +
                         "\": the watchdog writes classic events. Set it with \"gandry-manager "
                         "set Events detailed\" or \"... classic\".");
  }
}

// A [Health SERVICE] section as read, looked at once the file is closed again.
struct HealthSection {
  std::string name;
  std::string service;
  HealthSectionValues values;
};

std::vector<HealthSection> ReadHealthSections(IniFile& ini) {
  std::vector<HealthSection> sections;
  for (const std::string& name : ini.ListSections()) {
    if (std::optional<std::string> service = HealthSectionService(name)) {
      sections.push_back({name, std::move(*service), ReadHealthSection(ini, name)});
    }
  }
  return sections;
}

// The extensions of the programs that a command line runs.
constexpr std::string_view kProgramExtensions[] = {".exe", ".com", ".bat", ".cmd"};

bool EndsInProgramExtension(std::string_view path) {
  return std::any_of(std::begin(kProgramExtensions), std::end(kProgramExtensions),
                     [&](std::string_view extension) {
                       return path.size() > extension.size() &&
                              EqualsNoCase(path.substr(path.size() - extension.size()), extension);
                     });
}

// Whether an unquoted program path seems to go on after a blank, as C:\Program Files\x.exe
// does: its first word is a path without a program's extension, and the line up to a later
// blank, or to its end, has one.
bool UnquotedPathWithBlanks(std::string_view command_line) {
  command_line = Trim(command_line);
  const std::size_t first = command_line.find_first_of(" \t");
  const std::string_view word = command_line.substr(0, first);
  if (first == std::string_view::npos || word.find_first_of("\\/") == std::string_view::npos ||
      EndsInProgramExtension(word)) {
    return false;
  }
  for (std::size_t end = first; end != std::string_view::npos;
       end = command_line.find_first_of(" \t", end + 1)) {
    if (EndsInProgramExtension(command_line.substr(0, end))) {
      return true;
    }
  }
  return EndsInProgramExtension(command_line);
}

// A path that names its drive or share, which the probe runs as it stands; other programs it
// looks for along the search path.
bool IsFullPath(std::string_view path) {
  return (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
         path.starts_with("\\\\");
}

// Who besides the administrators may change `path`, as a problem; a note when that cannot be
// told.
void CheckWriters(Manager& manager, const std::string& what, const std::string& path,
                  const std::string& code, const std::string& consequence, Findings& findings) {
  Result<std::vector<std::string>> others = manager.platform.access.OthersWhoMayWrite(path);
  if (!others) {
    findings.Note(code + "-unknown",
                  "cannot tell who may change " + path + ": " + manager.Explain(others.error()));
    return;
  }
  if (others->empty()) {
    return;
  }
  std::string message = what + " may be changed by ";
  for (std::size_t i = 0; i < others->size(); ++i) {
    message += (i == 0 ? "" : ", ") + (*others)[i];
  }
  findings.Problem(code, message + ". " + consequence);
}

void CheckHealthProgram(Manager& manager, const std::string& where, const HealthCheck& check,
                        Findings& findings) {
  const std::string& command_line = check.target.command_line;
  if (!ExecProgramOf(command_line).quoted && UnquotedPathWithBlanks(command_line)) {
    findings.Problem("health-program-unquoted",
                     where +
                         ": the program's path has blanks but no quotes, so the check "
                         "runs \"" +
                         check.target.program +
                         "\", which fails or is another program. Put the path in double "
                         "quotes.");
    return;
  }
  std::string program = check.target.program;
  if (!IsFullPath(program)) {
    return;
  }
  std::replace(program.begin(), program.end(), '/', '\\');
  // The probe adds .exe to a name without an extension, as the system does.
  if (!manager.platform.files.Exists(program) && !EndsInProgramExtension(program) &&
      manager.platform.files.Exists(program + ".exe")) {
    program += ".exe";
  }
  if (!manager.platform.files.Exists(program)) {
    findings.Problem("health-program-missing", where + ": there is no program " + program +
                                                   ", so every check fails and the service is "
                                                   "restarted again and again.");
    return;
  }
  const std::string consequence =
      "The watchdog runs it as LocalSystem for the check, so whoever can change it runs "
      "programs as LocalSystem: allow only administrators to write there.";
  CheckWriters(manager, where + ": the program " + program, program, "health-program-write-access",
               consequence, findings);
  CheckWriters(manager, where + ": the folder " + std::string(DirectoryOf(program)),
               std::string(DirectoryOf(program)), "health-program-write-access", consequence,
               findings);
}

void CheckHealth(Manager& manager, const std::vector<HealthSection>& sections,
                 const std::vector<Item>& items, Findings& findings) {
  for (const HealthSection& section : sections) {
    const std::string where = "[" + section.name + "]";
    const bool listed = std::any_of(items.begin(), items.end(), [&](const Item& item) {
      return EqualsNoCase(item.service, section.service);
    });
    if (!listed) {
      findings.Problem("health-service-unlisted",
                       where + ": no item watches \"" + section.service +
                           "\", so this check is never made. Add the service (\"gandry-manager "
                           "add " +
                           section.service + " --check CHECK\") or remove the section.");
    }
    const HealthSectionReading reading = ParseHealthSection(section.values);
    for (std::size_t i = 0; i < reading.problems.size(); ++i) {
      const bool about_check = !reading.check && i + 1 == reading.problems.size();
      if (about_check) {
        findings.Problem("health-check-invalid", where + " " + reading.problems[i] +
                                                     " Set one with \"gandry-manager "
                                                     "health " +
                                                     section.service + " CHECK\".");
      } else {
        findings.Problem("health-value-replaced", where + " " + reading.problems[i]);
      }
    }
    if (reading.check && reading.check->target.kind == HealthCheckKind::kExec) {
      CheckHealthProgram(manager, where, *reading.check, findings);
    }
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
  const std::string consequence =
      "Whoever can edit Gandry.ini makes the watchdog, which runs as LocalSystem, stop and "
      "start services: allow only administrators to write there.";
  const std::vector<std::pair<std::string, std::string>> objects = [&] {
    std::vector<std::pair<std::string, std::string>> list{
        {"The folder " + manager.folder, manager.folder}};
    if (ini_exists) {
      list.insert(list.begin(), {manager.ini_path, manager.ini_path});
    }
    return list;
  }();
  for (const auto& [what, path] : objects) {
    CheckWriters(manager, what, path, "write-access", consequence, findings);
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
  std::vector<HealthSection> health;
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
    health = ReadHealthSections(**ini);
  }
  // Looked up with the file closed again: the watchdog may want to write it meanwhile.
  if (items) {
    CheckItems(manager, *items, findings);
    CheckHealth(manager, health, *items, findings);
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
