#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/delay_rule.h"
#include "platform/ini_store.h"
#include "platform/result.h"
#include "watchdog/watchdog.h"

namespace gandry {

inline constexpr char kIniFileName[] = "Gandry.ini";

// [Settings] WatchMode: "notify" (any letter case) subscribes each monitor to its service's
// stops; anything else, and no value at all, polls.
inline constexpr char kWatchModeKey[] = "WatchMode";
inline constexpr char kWatchModeNotify[] = "notify";
inline constexpr char kWatchModePoll[] = "poll";
bool IsNotifyMode(std::string_view value);

// The beginning of `path` up to and including its last '\' or ':'; empty when it has neither.
std::string DirectoryOf(std::string_view path);

// A delay as the watchdog takes it from the file: the seconds it uses, and whether the file
// gets them written back (plain decimal) because it does not already say them.
struct DelayReading {
  int seconds = 0;
  bool write_back = false;
};
DelayReading ReadDelay(IniFile& file, const char* section, const DelaySetting& setting);

// One item line of [Services]: its key and its value, cut to 200 characters.
struct ItemLine {
  std::string key;
  std::string value;
  bool cut = false;  // the line's value was longer
};

// The lines of the section whose key names begin with `prefix` (any letter case), in file
// order.
std::vector<ItemLine> ReadItemLines(IniFile& file, const char* section = "Services",
                                    const char* prefix = "Item");

// The values of the section's keys whose names begin with `prefix` (any letter case), in file
// order, each cut to 200 characters. Reports the outcome on `channel` unless it is null.
std::vector<std::string> LoadItems(IniFile& file, MessageChannel* channel,
                                   const char* section = "Services", const char* prefix = "Item");

// Fills watchdog.settings and watchdog.items from "Gandry.ini" beside the executable, then
// writes the delays back that the file does not already say (creating a missing file). A file
// that exists but cannot be read changes nothing, is not written, and gives its error.
Status LoadConfiguration(Watchdog& watchdog);

}  // namespace gandry
