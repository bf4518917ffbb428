#include "manager/health.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "common/ascii_text.h"
#include "manager/items.h"

namespace gandry {

namespace {

constexpr std::string_view kOff = "off";
constexpr std::string_view kLeftAsItWas = "; Gandry.ini is left as it was.\n";

// The option that gives a number key: its name in lower case.
std::string OptionOf(const HealthNumberRule& rule) {
  return ToLower(rule.key);
}

std::string Unit(const HealthNumberRule& rule) {
  return std::string_view(rule.key) == kHealthFailuresKey ? "" : " s";
}

std::size_t IndexOf(const HealthNumberRule& rule) {
  const auto* found = std::find_if(std::begin(kHealthNumbers), std::end(kHealthNumbers),
                                   [&](const HealthNumberRule& r) { return r.key == rule.key; });
  return static_cast<std::size_t>(found - std::begin(kHealthNumbers));
}

// The number given for `rule`'s key, as its text; empty when none was.
std::string Given(const HealthRequest& request, const HealthNumberRule& rule) {
  const std::optional<int>& number = request.numbers[IndexOf(rule)];
  return number ? std::to_string(*number) : std::string();
}

HealthSectionValues ValuesOf(const HealthRequest& request) {
  return {request.check, Given(request, kHealthInterval), Given(request, kHealthTimeout),
          Given(request, kHealthFailures), Given(request, kHealthGrace)};
}

}  // namespace

std::string DescribeHealthCheck(const HealthCheck& check) {
  return check.check_text + " every " + std::to_string(check.interval_seconds) + " s, time-out " +
         std::to_string(check.timeout_seconds) + " s, restart after " +
         std::to_string(check.failures) + " failed in a row, grace " +
         std::to_string(check.grace_seconds) + " s";
}

bool HasHealthNumbers(const ManagerArgs& args) {
  return std::any_of(std::begin(kHealthNumbers), std::end(kHealthNumbers),
                     [&](const HealthNumberRule& rule) { return args.Has(OptionOf(rule)); });
}

std::optional<HealthRequest> ParseHealthRequest(Manager& manager, const ManagerArgs& args,
                                                const std::string& check) {
  HealthRequest request;
  request.check = std::string(Trim(check));
  if (const ParsedTarget parsed = ParseHealthTarget(request.check); !parsed.target) {
    manager.err << "\"" << check << "\" is no health check: " << parsed.problem
                << ". Give tcp://HOST:PORT, http://HOST[:PORT]/PATH, https://... or "
                   "exec:COMMAND LINE"
                << kLeftAsItWas;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < std::size(kHealthNumbers); ++i) {
    const HealthNumberRule& rule = kHealthNumbers[i];
    const auto option = args.options.find(OptionOf(rule));
    if (option == args.options.end()) {
      continue;
    }
    request.numbers[i] = HealthNumberValue(option->second, rule);
    if (!request.numbers[i] || Trim(option->second) != option->second) {
      manager.err << "--" << option->first << " takes a whole number"
                  << (Unit(rule).empty() ? "" : " of seconds") << " from " << rule.min << " to "
                  << rule.max << ", not \"" << option->second << "\"" << kLeftAsItWas;
      return std::nullopt;
    }
  }
  const int interval =
      request.numbers[IndexOf(kHealthInterval)].value_or(kHealthInterval.default_value);
  const int timeout =
      request.numbers[IndexOf(kHealthTimeout)].value_or(kHealthTimeout.default_value);
  if (!HealthTimeoutFits(timeout, interval)) {
    manager.err << "The time-out (" << timeout << " s) must be shorter than the interval ("
                << interval << " s): give a longer --interval or a shorter --timeout"
                << kLeftAsItWas;
    return std::nullopt;
  }
  return request;
}

Result<std::string> WriteHealthSection(IniEdit& edit, const std::string& service,
                                       const HealthRequest& request) {
  const std::string section = FindHealthSection(edit, service).value_or(HealthSectionName(service));
  // Each key is written anew in one line: a later line of a key would otherwise stay behind,
  // unread but misleading.
  for (const char* key : {kHealthCheckKey, kHealthIntervalKey, kHealthTimeoutKey,
                          kHealthFailuresKey, kHealthGraceKey}) {
    for (const std::string& listed : edit.ListKeys(section)) {
      if (!EqualsNoCase(listed, key)) {
        continue;
      }
      if (Status deleted = edit.DeleteKey(section, key); !deleted) {
        return deleted.error();
      }
    }
  }
  if (Status written = edit.WriteValue(section, kHealthCheckKey, request.check); !written) {
    return written.error();
  }
  for (std::size_t i = 0; i < std::size(kHealthNumbers); ++i) {
    if (!request.numbers[i]) {
      continue;
    }
    const std::string value = std::to_string(*request.numbers[i]);
    if (Status written = edit.WriteValue(section, kHealthNumbers[i].key, value); !written) {
      return written.error();
    }
  }
  // The request was checked with the same rules, so the file now reads as it says.
  const HealthSectionReading reading = ParseHealthSection(ValuesOf(request));
  return "Set [" + section + "]: " + DescribeHealthCheck(*reading.check) + ".";
}

int RunHealth(Manager& manager, const ManagerArgs& args) {
  const std::string& service = args.arguments[0];
  const bool off = EqualsNoCase(args.arguments[1], kOff);
  std::optional<HealthRequest> request;
  if (off && HasHealthNumbers(args)) {
    manager.err << "\"health " << service
                << " off\" removes the check and takes no --interval, --timeout, --failures "
                   "or --grace"
                << kLeftAsItWas;
    return kExitUsage;
  }
  if (!off) {
    request = ParseHealthRequest(manager, args, args.arguments[1]);
    if (!request) {
      return kExitUsage;
    }
  }
  std::unique_ptr<IniEdit> edit = BeginEdit(manager);
  if (!edit) {
    return kExitFailed;
  }
  const std::vector<Item> items = ReadItems(*edit);
  const auto item = std::find_if(items.begin(), items.end(), [&](const Item& listed) {
    return EqualsNoCase(listed.service, service);
  });
  if (item == items.end()) {
    manager.err << "No item of Gandry.ini watches \"" << service
                << "\": add it first (gandry-manager add " << service << " --check CHECK)"
                << kLeftAsItWas;
    return kExitFailed;
  }
  if (off) {
    const std::optional<std::string> section = FindHealthSection(*edit, item->service);
    if (!section) {
      manager.out << item->service << " has no health check.\n";
      return kExitDone;
    }
    if (const Status deleted = edit->DeleteSection(*section); !deleted) {
      return manager.Fail("Cannot write " + manager.ini_path, deleted.error());
    }
    return FinishEdit(manager, std::move(edit),
                      {"Removed [" + *section + "]: " + item->service + " has no health check."},
                      args);
  }
  Result<std::string> done = WriteHealthSection(*edit, item->service, *request);
  if (!done) {
    return manager.Fail("Cannot write " + manager.ini_path, done.error());
  }
  return FinishEdit(manager, std::move(edit), {*done}, args);
}

}  // namespace gandry
