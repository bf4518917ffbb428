#include "manager/items.h"

#include <algorithm>
#include <array>

#include "common/ascii_text.h"
#include "common/delay_rule.h"
#include "manager/control.h"
#include "watchdog/config.h"
#include "watchdog/service_control.h"
#include "watchdog/zt_utils.h"

namespace gandry {

namespace {

constexpr char kServices[] = "Services";
constexpr char kSettings[] = "Settings";
constexpr char kItemPrefix[] = "Item";
constexpr int kDefaultAttempts = 3;
constexpr int kDefaultPeriod = 0;

// Gandry.ini must be there before the manager reads or edits it: a write would otherwise
// create a bare file without the sample's explanations.
bool RequireIni(Manager& manager) {
  if (manager.platform.files.Exists(manager.ini_path)) {
    return true;
  }
  manager.err << "There is no Gandry.ini in " << manager.folder
              << ": run \"gandry-manager install\" to create it.\n";
  return false;
}

std::string Display(const std::string& field) {
  return field.empty() ? "0" : field;
}

// The number after "Item" in a key like "Item12"; nothing for other keys.
std::optional<std::int32_t> KeyNumber(const std::string& key) {
  if (key.size() <= 4 || !EqualsNoCase(key.substr(0, 4), kItemPrefix) ||
      !std::all_of(key.begin() + 4, key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return ParseIntComplete(key.substr(4));
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

int WriteFailed(Manager& manager, SystemError error) {
  return manager.Fail("Cannot write " + manager.ini_path, error);
}

}  // namespace

std::vector<Item> ReadItems(Manager& manager) {
  std::vector<Item> items;
  for (ItemLine& line :
       ReadItemLines(manager.platform.ini, manager.ini_path, kServices, kItemPrefix)) {
    Item item;
    item.service = ExtractField(line.value, 1, '|');
    item.attempts = ExtractField(line.value, 3, '|');
    item.period = ExtractField(line.value, 4, '|');
    item.key = std::move(line.key);
    item.value = std::move(line.value);
    items.push_back(std::move(item));
  }
  return items;
}

std::optional<std::int32_t> ItemNumber(const std::string& field) {
  if (field.empty()) {
    return 0;
  }
  return ParseIntComplete(field);
}

int RunList(Manager& manager) {
  if (!RequireIni(manager)) {
    return kExitFailed;
  }
  const std::vector<Item> items = ReadItems(manager);
  if (items.empty()) {
    manager.out << "Gandry.ini lists no services.\n";
  }
  for (const Item& item : items) {
    manager.out << item.key << ": " << item.service << ", attempts " << Display(item.attempts)
                << ", period " << Display(item.period) << " min\n";
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
  if (service.empty() || service.find_first_of("|\r\n") != std::string::npos) {
    manager.err << "\"" << service << "\" cannot be a service name.\n";
    return kExitUsage;
  }
  if (!RequireIni(manager)) {
    return kExitFailed;
  }
  if (EqualsNoCase(service, kServiceName)) {
    manager.err << "The watchdog cannot watch itself: \"" << service
                << "\" is the watchdog's own service.\n";
    return kExitFailed;
  }
  const std::vector<Item> items = ReadItems(manager);
  for (const Item& item : items) {
    if (EqualsNoCase(item.service, service)) {
      manager.err << "\"" << service << "\" is already watched (" << item.key << "=" << item.value
                  << ").\n";
      return kExitFailed;
    }
  }
  if (!args.Has("force")) {
    Result<ServiceRegistration> known = manager.platform.setup.Query(service);
    if (!known && known.error().code == kErrorServiceDoesNotExist) {
      manager.err << "The system has no service named \"" << service
                  << "\" (use its key name, as \"sc.exe query\" shows it after SERVICE_NAME); "
                     "--force adds it anyway.\n";
      return kExitFailed;
    }
    if (!known) {
      return manager.Fail("Cannot look up the service \"" + service + "\"", known.error());
    }
  }
  // One past the highest ItemN of the section, so that the new item comes last by number as it
  // comes last in the file.
  std::int32_t highest = 0;
  for (const std::string& key : manager.platform.ini.ListKeys(manager.ini_path, kServices)) {
    highest = std::max(highest, KeyNumber(key).value_or(0));
  }
  const std::string key = kItemPrefix + std::to_string(highest + 1);
  const std::string value =
      service + "||" + std::to_string(*attempts) + "|" + std::to_string(*period);
  const Status written = manager.platform.ini.WriteValue(manager.ini_path, kServices, key, value);
  if (!written) {
    return WriteFailed(manager, written.error());
  }
  manager.out << "Added " << key << "=" << value << ".\n";
  return ReloadAfterEdit(manager, args);
}

int RunRemove(Manager& manager, const ManagerArgs& args) {
  const std::string& service = args.arguments[0];
  if (!RequireIni(manager)) {
    return kExitFailed;
  }
  int removed = 0;
  for (const Item& item : ReadItems(manager)) {
    if (!EqualsNoCase(item.service, service)) {
      continue;
    }
    const Status deleted = manager.platform.ini.DeleteKey(manager.ini_path, kServices, item.key);
    if (!deleted) {
      return WriteFailed(manager, deleted.error());
    }
    manager.out << "Removed " << item.key << "=" << item.value << ".\n";
    ++removed;
  }
  if (removed == 0) {
    manager.err << "No item of Gandry.ini watches \"" << service << "\".\n";
    return kExitFailed;
  }
  return ReloadAfterEdit(manager, args);
}

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
  } else if (EqualsNoCase(key, kWatchModeKey)) {
    if (!EqualsNoCase(text, kWatchModePoll) && !IsNotifyMode(text)) {
      manager.err << "WatchMode is poll or notify, not \"" << text
                  << "\"; Gandry.ini is left as it was.\n";
      return kExitFailed;
    }
    canonical_key = kWatchModeKey;
    value = ToLower(text);
  } else {
    manager.err << "There is no setting \"" << key
                << "\": set LoopDelayThread, LoopDelayService, StartDelayThread or WatchMode.\n";
    return kExitUsage;
  }
  if (!RequireIni(manager)) {
    return kExitFailed;
  }
  const Status written =
      manager.platform.ini.WriteValue(manager.ini_path, kSettings, canonical_key, value);
  if (!written) {
    return WriteFailed(manager, written.error());
  }
  manager.out << "Set " << canonical_key << "=" << value << ".\n";
  return ReloadAfterEdit(manager, args);
}

}  // namespace gandry
