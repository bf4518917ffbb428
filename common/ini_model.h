#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_store.h"

namespace gandry {

// Gandry.ini: [Settings] holds the delays (common/delay_rule.h) and the watch mode, [Services]
// the watched items, each under a key whose name begins with "Item" in any letter case.
inline constexpr char kSettingsSection[] = "Settings";
inline constexpr char kServicesSection[] = "Services";
inline constexpr char kItemKeyPrefix[] = "Item";

// [Settings] WatchMode: notify subscribes each monitor to its service's stops, poll only looks.
enum class WatchMode : std::uint8_t { kPoll, kNotify };
inline constexpr char kWatchModeKey[] = "WatchMode";

// The mode a value gives the watchdog: notify in any letter case; anything else, and no value at
// all, polls.
WatchMode WatchModeOf(std::string_view value);
// The mode that a value names exactly (poll or notify, in any letter case); nothing otherwise.
std::optional<WatchMode> ParseWatchMode(std::string_view value);
// "poll" or "notify".
const char* WatchModeName(WatchMode mode);

// [Settings] HungServices: what a monitor does with its service when it hangs in a pending
// state. leave (the default) waits as before; kill ends the service's process when it has one
// of its own.
enum class HungServiceAction : std::uint8_t { kLeave, kKill };
inline constexpr char kHungServicesKey[] = "HungServices";

// The action that a value names exactly (leave or kill, in any letter case); nothing otherwise.
std::optional<HungServiceAction> ParseHungServiceAction(std::string_view value);
// "leave" or "kill".
const char* HungServiceActionName(HungServiceAction action);

// An item value is "SERVICE|NOTE|ATTEMPTS|PERIOD": fields separated by '|' and counted from 1.
// The note, and any field after the fourth, are the administrator's own. The watchdog reads at
// most kItemValueMax characters of a value.
inline constexpr std::size_t kItemValueMax = 200;

// The fields of an item value as written; a missing field is empty.
struct ItemFields {
  std::string service;   // field 1: the service's key name
  std::string attempts;  // field 3: starts in a row when the service is found stopped
  std::string period;    // field 4: minutes from one scheduled restart to the next
};
ItemFields SplitItem(std::string_view value);

// An item as the watchdog watches it. A number field counts as the integer it begins with, so
// an empty or non-numeric one is 0 and switches its part off.
struct WatchItem {
  std::string service;
  std::int32_t attempts = 0;
  std::int32_t period_minutes = 0;
};
WatchItem ReadWatchItem(std::string_view value);

// A number field read strictly: 0 when empty, nothing when it is not a complete integer (the
// watchdog then takes whatever digits it begins with).
std::optional<std::int32_t> ItemNumber(std::string_view field);

// The value of a new item, with an empty note.
std::string ComposeItem(std::string_view service, int attempts, int period_minutes);

// One item line of [Services]: its key and its value, cut to kItemValueMax characters.
struct ItemLine {
  std::string key;
  std::string value;
  bool cut = false;  // the line's value was longer
};

// The lines of the section whose key names begin with `prefix` (any letter case), in file
// order.
std::vector<ItemLine> ReadItemLines(IniFile& file, const char* section = kServicesSection,
                                    const char* prefix = kItemKeyPrefix);

// The beginning of `path` up to and including its last '\' or ':'; empty when it has neither.
// Gandry.ini and gandry.svc lie in the folder of the program that looks for them.
std::string DirectoryOf(std::string_view path);

}  // namespace gandry
