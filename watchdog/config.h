#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// A delay in seconds from the INI file, or `fallback` (written back at once as plain decimal)
// when the key is missing, does not parse completely, or lies outside 5..120.
int ReadDelaySetting(IniStore& ini, const std::string& ini_path, const char* section,
                     const char* key, int fallback);

// One item line of [Services]: its key and its value, cut to 200 characters.
struct ItemLine {
  std::string key;
  std::string value;
};

// The lines of the section whose key names begin with `prefix` (any letter case), in file
// order.
std::vector<ItemLine> ReadItemLines(IniStore& ini, const std::string& ini_path,
                                    const char* section = "Services", const char* prefix = "Item");

// The values of the section's keys whose names begin with `prefix` (any letter case), in file
// order, each cut to 200 characters. Reports the outcome on `channel` unless it is null.
std::vector<std::string> LoadItems(IniStore& ini, const std::string& ini_path,
                                   MessageChannel* channel, const char* section = "Services",
                                   const char* prefix = "Item");

// Fills watchdog.settings and watchdog.items from "Gandry.ini" beside the executable.
void LoadConfiguration(Watchdog& watchdog);

}  // namespace gandry
