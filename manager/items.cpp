#include "manager/items.h"

#include <algorithm>
#include <limits>

#include "common/ascii_text.h"
#include "common/delay_rule.h"
#include "common/health_check.h"
#include "common/ini_access.h"
#include "common/ini_model.h"
#include "common/parse_text.h"
#include "manager/control.h"
#include "manager/health.h"

namespace gandry {

namespace {

constexpr int kDefaultAttempts = 3;
constexpr int kDefaultPeriod = 0;

// Gandry.ini must be there before the manager reads or edits it: a write would otherwise
// create a bare file without the sample's explanations.
bool RequireIni(Manager& manager, const IniFile& file) {
  if (file.Exists()) {
    return true;
  }
  manager.err << "There is no Gandry.ini in " << manager.folder
              << ": run \"gandry-manager install\" to create it.\n";
  return false;
}

std::string Display(const std::string& field) {
  return field.empty() ? "0" : field;
}

bool HasKey(IniFile& file, const std::string& key) {
  const std::vector<std::string> keys = file.ListKeys(kServicesSection);
  return std::any_of(keys.begin(), keys.end(),
                     [&](const std::string& k) { return EqualsNoCase(k, key); });
}

// The number after "Item" in a key like "Item12"; nothing for other keys.
std::optional<std::int32_t> KeyNumber(const std::string& key) {
  const std::size_t prefix = std::string_view(kItemKeyPrefix).size();
  if (key.size() <= prefix || !StartsWithNoCase(key, kItemKeyPrefix) ||
      !std::all_of(key.begin() + prefix, key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return ParseIntComplete(key.substr(prefix));
}

// One past the highest ItemN of the section, so that a new item comes last by number as it
// comes last in the file; when that number is taken or too large, the lowest free one. Never
// a key that the section has, in any letter case.
std::string NextFreeKey(IniFile& file) {
  std::int32_t highest = 0;
  for (const std::string& key : file.ListKeys(kServicesSection)) {
    highest = std::max(highest, KeyNumber(key).value_or(0));
  }
  std::int64_t number = highest < std::numeric_limits<std::int32_t>::max() ? highest + 1 : 1;
  while (HasKey(file, kItemKeyPrefix + std::to_string(number))) {
    ++number;
  }
  return kItemKeyPrefix + std::to_string(number);
}

// A count option of add: a whole number from 0 up.
std::optional<int> CountOption(const ManagerArgs& args, const std::string& name, int fallback) {
  auto it = args.options.find(name);
  if (it == args.options.end()) {
    return fallback;
  }
  const std::optional<std::int32_t> value = ParseIntComplete(it->second);
  if (!value || *value < 0 || Trim(it->second) != it->second) {
    return std::nullopt;
  }
  return *value;
}

}  // namespace

std::unique_ptr<IniEdit> BeginEdit(Manager& manager) {
  Result<std::unique_ptr<IniEdit>> edit = manager.EditIni();
  if (!edit) {
    manager.Fail("Cannot write " + manager.ini_path, edit.error());
    return nullptr;
  }
  if (!RequireIni(manager, **edit)) {
    return nullptr;
  }
  return std::move(*edit);
}

int FinishEdit(Manager& manager, std::unique_ptr<IniEdit> edit,
               const std::vector<std::string>& done, const ManagerArgs& args) {
  const Status committed = CommitIniEdit(*edit, manager.platform.clock);
  edit.reset();
  if (!committed) {
    return manager.Fail("Cannot write " + manager.ini_path, committed.error());
  }
  for (const std::string& line : done) {
    manager.out << line << '\n';
  }
  return ReloadAfterEdit(manager, args);
}

std::vector<Item> ReadItems(IniFile& file) {
  std::vector<Item> items;
  for (ItemLine& line : ReadItemLines(file)) {
    auto same_key = std::find_if(items.begin(), items.end(), [&](const Item& item) {
      return EqualsNoCase(item.key, line.key);
    });
    if (same_key != items.end()) {
      ++same_key->lines;
      continue;
    }
    ItemFields fields = SplitItem(line.value);
    Item item;
    item.service = std::move(fields.service);
    item.attempts = std::move(fields.attempts);
    item.period = std::move(fields.period);
    item.key = std::move(line.key);
    item.value = std::move(line.value);
    item.cut = line.cut;
    items.push_back(std::move(item));
  }
  return items;
}

int RunList(Manager& manager) {
  Result<std::unique_ptr<IniFile>> file = manager.ReadIni();
  if (!file) {
    return manager.Fail("Cannot read " + manager.ini_path, file.error());
  }
  if (!RequireIni(manager, **file)) {
    return kExitFailed;
  }
  const std::vector<Item> items = ReadItems(**file);
  if (items.empty()) {
    manager.out << "Gandry.ini lists no services.\n";
  }
  for (const Item& item : items) {
    manager.out << item.key << ": " << item.service << ", attempts " << Display(item.attempts)
                << ", period " << Display(item.period) << " min";
    if (item.lines > 1) {
      manager.out << " (" << item.key << " is on " << item.lines
                  << " lines: the watchdog reads only the first)";
    }
    manager.out << '\n';
  }
  return kExitDone;
}

int RunAdd(Manager& manager, const ManagerArgs& args) {
  const std::string& service = args.arguments[0];
  const std::optional<int> attempts = CountOption(args, "attempts", kDefaultAttempts);
  const std::optional<int> period = CountOption(args, "restart-every", kDefaultPeriod);
  if (!attempts || !period) {
    manager.err << "--attempts and --restart-every take a whole number from 0 up.\n";
    return kExitUsage;
  }
  std::optional<HealthRequest> health;
  if (const auto check = args.options.find("check"); check != args.options.end()) {
    health = ParseHealthRequest(manager, args, check->second);
    if (!health) {
      return kExitUsage;
    }
  } else if (HasHealthNumbers(args)) {
    manager.err << "--interval, --timeout, --failures and --grace go with --check.\n";
    return kExitUsage;
  }
  if (service.empty() || service.find_first_of("|\r\n") != std::string::npos) {
    manager.err << "\"" << service << "\" cannot be a service name.\n";
    return kExitUsage;
  }
  if (EqualsNoCase(service, kServiceName)) {
    manager.err << "The watchdog cannot watch itself: \"" << service
                << "\" is the watchdog's own service.\n";
    return kExitFailed;
  }
  // Read, decided on and written under the edit's lock: a concurrent add can take neither the
  // same key nor the same service.
  std::unique_ptr<IniEdit> edit = BeginEdit(manager);
  if (!edit) {
    return kExitFailed;
  }
  for (const Item& item : ReadItems(*edit)) {
    if (EqualsNoCase(item.service, service)) {
      manager.err << "\"" << service << "\" is already listed (" << item.key << "=" << item.value
                  << ").\n";
      return kExitFailed;
    }
  }
  if (!args.Has("force")) {
    Result<ServiceRegistration> known = manager.platform.setup.Query(service);
    if (!known && known.error().kind == ErrorKind::kNoSuchService) {
      manager.err << "The system has no service named \"" << service
                  << "\" (use its key name, as \"sc.exe query\" shows it after SERVICE_NAME); "
                     "--force adds it anyway.\n";
      return kExitFailed;
    }
    if (!known) {
      return manager.Fail("Cannot look up the service \"" + service + "\"", known.error());
    }
  }
  const std::string key = NextFreeKey(*edit);
  const std::string value = ComposeItem(service, *attempts, *period);
  if (const Status written = edit->WriteValue(kServicesSection, key, value); !written) {
    return manager.Fail("Cannot write " + manager.ini_path, written.error());
  }
  std::vector<std::string> done{"Added " + key + "=" + value + "."};
  if (health) {
    Result<std::string> set = WriteHealthSection(*edit, service, *health);
    if (!set) {
      return manager.Fail("Cannot write " + manager.ini_path, set.error());
    }
    done.push_back(std::move(*set));
  }
  return FinishEdit(manager, std::move(edit), done, args);
}

int RunRemove(Manager& manager, const ManagerArgs& args) {
  const std::string& service = args.arguments[0];
  std::unique_ptr<IniEdit> edit = BeginEdit(manager);
  if (!edit) {
    return kExitFailed;
  }
  std::vector<std::string> done;
  for (const Item& item : ReadItems(*edit)) {
    if (!EqualsNoCase(item.service, service)) {
      continue;
    }
    // The profile functions reach only the first line of a key; a later line with the same key
    // takes its place, and goes too only while it names the same service.
    std::string value = item.value;
    for (;;) {
      if (const Status deleted = edit->DeleteKey(kServicesSection, item.key); !deleted) {
        return manager.Fail("Cannot write " + manager.ini_path, deleted.error());
      }
      done.push_back("Removed " + item.key + "=" + value + ".");
      if (!HasKey(*edit, item.key)) {
        break;
      }
      value = edit->ReadValue(kServicesSection, item.key);
      if (!EqualsNoCase(SplitItem(value).service, service)) {
        done.push_back("Kept " + item.key + "=" + value +
                       ", a later line with the same key: the watchdog reads it from now on.");
        break;
      }
    }
  }
  if (done.empty()) {
    manager.err << "No item of Gandry.ini watches \"" << service << "\".\n";
    return kExitFailed;
  }
  // The health check goes with the last item of its service; a section that no item uses
  // would only be reported by check.
  const std::vector<Item> left = ReadItems(*edit);
  const std::optional<std::string> health = FindHealthSection(*edit, service);
  if (health && std::none_of(left.begin(), left.end(), [&](const Item& item) {
        return EqualsNoCase(item.service, service);
      })) {
    if (const Status deleted = edit->DeleteSection(*health); !deleted) {
      return manager.Fail("Cannot write " + manager.ini_path, deleted.error());
    }
    done.push_back("Removed [" + *health + "].");
  }
  return FinishEdit(manager, std::move(edit), done, args);
}

namespace {

// A setting that takes one of a few words, written in its own spelling.
struct WordSetting {
  const char* key;
  const char* choices;                         // for the refusal
  const char* (*canonical)(std::string_view);  // nullptr for any other word
};

template <typename T, std::optional<T> (*Parse)(std::string_view), const char* (*Name)(T)>
const char* Canonical(std::string_view text) {
  const std::optional<T> parsed = Parse(text);
  return parsed ? Name(*parsed) : nullptr;
}

constexpr WordSetting kWordSettings[] = {
    {kWatchModeKey, "poll or notify", Canonical<WatchMode, ParseWatchMode, WatchModeName>},
    {kHungServicesKey, "kill or leave",
     Canonical<HungServiceAction, ParseHungServiceAction, HungServiceActionName>},
    {kEventsKey, "classic or detailed", Canonical<EventStyle, ParseEventStyle, EventStyleName>},
};

}  // namespace

int RunSet(Manager& manager, const ManagerArgs& args) {
  const std::string& key = args.arguments[0];
  const std::string& text = args.arguments[1];
  std::string canonical_key;
  std::string value;
  const auto delay = std::find_if(kDelaySettings.begin(), kDelaySettings.end(),
                                  [&](const DelaySetting& s) { return EqualsNoCase(key, s.key); });
  if (delay != kDelaySettings.end()) {
    const std::optional<int> seconds = AcceptedDelay(ParseIntComplete(text));
    if (!seconds) {
      manager.err << delay->key << " takes a whole number of seconds from " << kDelayMinSeconds
                  << " to " << kDelayMaxSeconds << ", not \"" << text
                  << "\"; Gandry.ini is left as it was.\n";
      return kExitFailed;
    }
    canonical_key = delay->key;
    value = std::to_string(*seconds);
  } else if (const auto word =
                 std::find_if(std::begin(kWordSettings), std::end(kWordSettings),
                              [&](const WordSetting& s) { return EqualsNoCase(key, s.key); });
             word != std::end(kWordSettings)) {
    const char* canonical = word->canonical(text);
    if (canonical == nullptr) {
      manager.err << word->key << " is " << word->choices << ", not \"" << text
                  << "\"; Gandry.ini is left as it was.\n";
      return kExitFailed;
    }
    canonical_key = word->key;
    value = canonical;
  } else if (EqualsNoCase(key, kMetricsFileKey)) {
    canonical_key = kMetricsFileKey;
    value = std::string(Trim(text));
  } else {
    manager.err << "There is no setting \"" << key
                << "\": set LoopDelayThread, LoopDelayService, StartDelayThread, WatchMode, "
                   "HungServices, Events or MetricsFile.\n";
    return kExitUsage;
  }
  std::unique_ptr<IniEdit> edit = BeginEdit(manager);
  if (!edit) {
    return kExitFailed;
  }
  if (const Status written = edit->WriteValue(kSettingsSection, canonical_key, value); !written) {
    return manager.Fail("Cannot write " + manager.ini_path, written.error());
  }
  return FinishEdit(manager, std::move(edit), {"Set " + canonical_key + "=" + value + "."}, args);
}

}  // namespace gandry
