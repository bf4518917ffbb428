#include "manager/status.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "common/ascii_text.h"
#include "common/health_check.h"
#include "common/ini_model.h"
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

  if (args.Has("json")) {
    Json document;
    document["watchdog"] = ToJson(manager, watchdog);
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
    }
  }
  const bool failed = watchdog.error && watchdog.error->kind != ErrorKind::kNoSuchService;
  return failed || ini_error ? kExitFailed : kExitDone;
}

}  // namespace gandry
