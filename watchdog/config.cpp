#include "watchdog/config.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "common/ascii_text.h"
#include "common/delay_rule.h"
#include "watchdog/zt_utils.h"

namespace gandry {

namespace {

constexpr std::size_t kItemValueMax = 200;

}  // namespace

bool IsNotifyMode(std::string_view value) {
  return EqualsNoCase(value, kWatchModeNotify);
}

std::string DirectoryOf(std::string_view path) {
  const std::size_t last = path.find_last_of("\\:");
  if (last == std::string_view::npos) {
    return {};
  }
  return std::string(path.substr(0, last + 1));
}

int ReadDelaySetting(IniStore& ini, const std::string& ini_path, const char* section,
                     const char* key, int fallback) {
  const std::string text = ini.ReadValue(ini_path, section, key);
  const std::optional<int> value = AcceptedDelay(ParseIntComplete(text));
  if (!value) {
    // A failed write only means the bad value stays in the file; the default is used anyway.
    (void)ini.WriteValue(ini_path, section, key, std::to_string(fallback));
    return fallback;
  }
  return *value;
}

std::vector<ItemLine> ReadItemLines(IniStore& ini, const std::string& ini_path, const char* section,
                                    const char* prefix) {
  std::vector<ItemLine> lines;
  for (const std::string& key : ini.ListKeys(ini_path, section)) {
    const std::string line = key + "=" + ini.ReadValue(ini_path, section, key);
    if (StartsWithNoCase(line, prefix)) {
      lines.push_back({key, line.substr(line.find('=') + 1, kItemValueMax)});
    }
  }
  return lines;
}

std::vector<std::string> LoadItems(IniStore& ini, const std::string& ini_path,
                                   MessageChannel* channel, const char* section,
                                   const char* prefix) {
  std::vector<std::string> items;
  for (ItemLine& line : ReadItemLines(ini, ini_path, section, prefix)) {
    items.push_back(std::move(line.value));
  }
  if (channel != nullptr) {
    if (items.empty()) {
      channel->append("Items not found.");
    } else {
      char message[64];
      std::snprintf(message, sizeof message, "Successfully loaded %d items.",
                    static_cast<int>(items.size()));
      channel->append(message);
    }
  }
  return items;
}

void LoadConfiguration(Watchdog& watchdog) {
  const std::string ini_path = DirectoryOf(watchdog.executable_path) + kIniFileName;
  const bool talk = watchdog.mode != kServiceMode;
  if (talk) {
    watchdog.channel.append("Configuration file: [" + ini_path + "]");
  }
  IniStore& ini = watchdog.ini;
  watchdog.settings.loop_delay_thread_ms =
      ReadDelaySetting(ini, ini_path, "Settings", kLoopDelayThread.key,
                       kLoopDelayThread.default_seconds) *
      1000;
  watchdog.settings.loop_delay_service_ms =
      ReadDelaySetting(ini, ini_path, "Settings", kLoopDelayService.key,
                       kLoopDelayService.default_seconds) *
      1000;
  watchdog.settings.start_delay_thread_ms =
      ReadDelaySetting(ini, ini_path, "Settings", kStartDelayThread.key,
                       kStartDelayThread.default_seconds) *
      1000;
  // Read only: a watchdog that polls needs nothing in the file.
  watchdog.settings.notify = IsNotifyMode(ini.ReadValue(ini_path, "Settings", kWatchModeKey));
  watchdog.items = LoadItems(ini, ini_path, talk ? &watchdog.channel : nullptr);
}

}  // namespace gandry
