#include "manager/status.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/ascii_text.h"
#include "common/date_time.h"
#include "common/health_check.h"
#include "common/ini_model.h"
#include "common/live_section.h"
#include "common/product_names.h"
#include "manager/control.h"
#include "manager/health.h"
#include "manager/items.h"
#include "manager/json_output.h"

namespace gandry {

namespace {

using Json = nlohmann::ordered_json;

// What the manager found out about one service.
struct ServiceReport {
  std::string name;
  std::optional<SystemError> error;  // why nothing could be found out
  ServiceStatus run;
  ServiceRegistration registration;
  std::string exit_text;
};

ServiceReport Inspect(Manager& manager, const std::string& name) {
  ServiceReport report;
  report.name = name;
  Result<ServiceStatus> run = QueryService(manager.platform.services, name);
  if (!run) {
    report.error = run.error();
    return report;
  }
  report.run = *run;
  Result<ServiceRegistration> registration = manager.platform.setup.Query(name);
  if (!registration) {
    report.error = registration.error();
    return report;
  }
  report.registration = *registration;
  report.exit_text = manager.SystemText(run->exit_code);
  return report;
}

std::string Describe(Manager& manager, const ServiceReport& report) {
  if (report.error) {
    if (report.error->kind == ErrorKind::kNoSuchService) {
      return "not installed";
    }
    return "unknown (" + manager.Explain(*report.error) + ")";
  }
  return std::string(StateName(report.run.state)) + ", start type " +
         StartTypeName(report.registration.start_type, report.registration.delayed_start) +
         ", last " + ExitCodesText(manager, report.run);
}

Json ToJson(Manager& manager, const ServiceReport& report) {
  Json json;
  json["service"] = report.name;
  json["installed"] = !report.error || report.error->kind != ErrorKind::kNoSuchService;
  if (report.error) {
    json["state"] = nullptr;
    json["error"] = report.error->code;
    json["errorText"] = manager.Explain(*report.error);
    return json;
  }
  json["state"] = StateName(report.run.state);
  json["startType"] =
      StartTypeName(report.registration.start_type, report.registration.delayed_start);
  json["exitCode"] = report.run.exit_code;
  json["serviceExitCode"] = report.run.service_exit_code;
  json["exitText"] = report.exit_text;
  return json;
}

// The health check of an item's service, as the watchdog reads it; nothing without a section.
struct HealthReport {
  std::string check_text;  // the Check value as written
  HealthSectionReading reading;
};

std::optional<HealthReport> ReadHealth(IniFile& ini, const std::string& service) {
  const std::optional<std::string> section = FindHealthSection(ini, service);
  if (!section) {
    return std::nullopt;
  }
  HealthSectionValues values = ReadHealthSection(ini, *section);
  HealthReport report{values.check, ParseHealthSection(values)};
  return report;
}

std::string DescribeHealth(const std::optional<HealthReport>& health) {
  if (!health) {
    return "";
  }
  if (!health->reading.check) {
    return "; no valid health check (see gandry-manager check)";
  }
  return "; check " + DescribeHealthCheck(*health->reading.check);
}

Json HealthJson(const std::optional<HealthReport>& health) {
  if (!health) {
    return nullptr;
  }
  Json json;
  json["check"] = health->check_text;
  json["valid"] = health->reading.check.has_value();
  if (const std::optional<HealthCheck>& check = health->reading.check) {
    json["interval"] = check->interval_seconds;
    json["timeout"] = check->timeout_seconds;
    json["failures"] = check->failures;
    json["grace"] = check->grace_seconds;
  }
  return json;
}

// An item's number field for JSON: the number, or the text when it is none.
Json NumberField(const std::string& field) {
  const std::optional<std::int32_t> number = ItemNumber(field);
  return number ? Json(*number) : Json(field);
}

// What the running watchdog service says of its items; none when it does not run, or when
// its section is missing, unreadable, ended or another process's.
std::optional<LiveStatus> ReadLive(Manager& manager, const ServiceReport& watchdog) {
  if (watchdog.error || watchdog.run.state == ServiceState::kStopped ||
      watchdog.run.process_id == 0) {
    return std::nullopt;
  }
  SharedMemory& memory = manager.platform.live;
  std::optional<LiveStatus> live = ReadLiveStatus(memory.OpenGlobalReadOnly(kLiveSectionName));
  memory.Close();
  if (!live || live->ended || live->pid != watchdog.run.process_id) {
    return std::nullopt;
  }
  return live;
}

// The live record of the item at `index`, matched by position and service name: a file
// edited since the watchdog last read it may list other services there.
const LiveItem* LiveRecord(const std::optional<LiveStatus>& live, std::size_t index,
                           const std::string& service) {
  if (!live || index >= live->items.size() || !EqualsNoCase(live->items[index].service, service)) {
    return nullptr;
  }
  return &live->items[index];
}

// A Unix time as "yyyy-mm-dd hh:mm:ss" in this computer's local time, or as UTC in ISO 8601
// ("yyyy-mm-ddThh:mm:ssZ").
std::string TimeText(Manager& manager, std::int64_t unix_seconds, bool local) {
  constexpr double kUnixEpoch = 25569.0;  // 1970-01-01 as a date-time
  double date_time = kUnixEpoch + static_cast<double>(unix_seconds) / 86'400.0;
  if (local) {
    Clock& clock = manager.platform.clock;
    date_time +=
        LocalNow(clock) - (kUnixEpoch + static_cast<double>(clock.UnixTimeMs()) / 86'400'000.0);
  }
  const CivilTime t = DecodeDateTime(date_time);
  char text[32];
  std::snprintf(text, sizeof text,
                local ? "%04d-%02d-%02d %02d:%02d:%02d" : "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year,
                t.month, t.day, t.hour, t.minute, t.second + (t.millisecond >= 500 ? 1 : 0));
  return text;
}

std::uint64_t TotalStarts(const LiveItem& live) {
  std::uint64_t total = 0;
  for (const std::uint64_t starts : live.starts) {
    total += starts;
  }
  return total;
}

std::string LiveText(Manager& manager, const LiveItem& live) {
  const auto reason = [&live](StartReason r) {
    return std::to_string(live.starts[static_cast<std::size_t>(r)]);
  };
  std::string text =
      "attempts left " + std::to_string(live.attempts_left) + ", next restart " +
      (live.next_restart == 0 ? "none" : TimeText(manager, live.next_restart, true)) +
      ", health checks failed in a row " + std::to_string(live.health_failures) + ", starts " +
      std::to_string(TotalStarts(live)) + " (stopped " + reason(StartReason::kStopped) +
      ", scheduled " + reason(StartReason::kScheduled) + ", health " +
      reason(StartReason::kHealth) + "), failed starts " + std::to_string(live.start_failures) +
      ", last start " + (live.last_start == 0 ? "none" : TimeText(manager, live.last_start, true));
  return text;
}

void AddLiveFields(Manager& manager, const LiveItem& live, Json& item) {
  const auto time = [&manager](std::int64_t unix_seconds) {
    return unix_seconds == 0 ? Json(nullptr) : Json(TimeText(manager, unix_seconds, false));
  };
  item["attemptsLeft"] = live.attempts_left;
  item["nextRestart"] = time(live.next_restart);
  item["healthFailures"] = live.health_failures;
  item["starts"] = {{"stopped", live.starts[static_cast<std::size_t>(StartReason::kStopped)]},
                    {"scheduled", live.starts[static_cast<std::size_t>(StartReason::kScheduled)]},
                    {"health", live.starts[static_cast<std::size_t>(StartReason::kHealth)]}};
  item["startFailures"] = live.start_failures;
  item["lastStart"] = time(live.last_start);
}

}  // namespace

int RunStatus(Manager& manager, const ManagerArgs& args) {
  const ServiceReport watchdog = Inspect(manager, kServiceName);
  // The watchdog's state is worth showing also when Gandry.ini cannot be read; the status then
  // fails with the reason instead of claiming that the file lists nothing.
  std::optional<SystemError> ini_error;
  bool have_ini = false;
  std::vector<Item> items;
  std::vector<std::optional<HealthReport>> health;
  if (Result<std::unique_ptr<IniFile>> ini = manager.ReadIni(); !ini) {
    ini_error = ini.error();
  } else {
    have_ini = (*ini)->Exists();
    items = ReadItems(**ini);
    for (const Item& item : items) {
      health.push_back(ReadHealth(**ini, item.service));
    }
  }
  std::vector<ServiceReport> reports;
  reports.reserve(items.size());
  for (const Item& item : items) {
    reports.push_back(Inspect(manager, item.service));
  }
  const std::optional<LiveStatus> live = ReadLive(manager, watchdog);

  if (args.Has("json")) {
    Json document;
    document["schemaVersion"] = kStatusSchemaVersion;
    document["watchdog"] = ToJson(manager, watchdog);
    if (live) {
      document["watchdog"]["startedAt"] = TimeText(manager, live->started, false);
      document["watchdog"]["reloads"] = live->reloads;
    }
    document["ini"] = manager.ini_path;
    document["iniFound"] = have_ini;
    if (ini_error) {
      document["iniError"] = ini_error->code;
      document["iniErrorText"] = manager.Explain(*ini_error);
    }
    document["items"] = Json::array();
    for (std::size_t i = 0; i < items.size(); ++i) {
      Json item = ToJson(manager, reports[i]);
      item["key"] = items[i].key;
      item["attempts"] = NumberField(items[i].attempts);
      item["period"] = NumberField(items[i].period);
      item["health"] = HealthJson(health[i]);
      if (const LiveItem* record = LiveRecord(live, i, items[i].service)) {
        AddLiveFields(manager, *record, item);
      }
      document["items"].push_back(std::move(item));
    }
    PrintJson(manager, std::move(document));
  } else {
    manager.out << "Watchdog " << kServiceName << ": " << Describe(manager, watchdog) << '\n';
    if (ini_error) {
      manager.err << "Cannot read " << manager.ini_path << ": " << manager.Explain(*ini_error)
                  << '\n';
    } else if (!have_ini) {
      manager.out << "There is no " << manager.ini_path << ".\n";
    } else if (items.empty()) {
      manager.out << "Gandry.ini lists no services.\n";
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      manager.out << items[i].key << " " << items[i].service << ": "
                  << Describe(manager, reports[i]) << "; attempts "
                  << (items[i].attempts.empty() ? "0" : items[i].attempts) << ", period "
                  << (items[i].period.empty() ? "0" : items[i].period) << " min"
                  << DescribeHealth(health[i]) << '\n';
      if (const LiveItem* record = LiveRecord(live, i, items[i].service)) {
        manager.out << "  " << LiveText(manager, *record) << '\n';
      }
    }
  }
  const bool failed = watchdog.error && watchdog.error->kind != ErrorKind::kNoSuchService;
  return failed || ini_error ? kExitFailed : kExitDone;
}

}  // namespace gandry
