#include "watchdog/config.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "common/ascii_text.h"
#include "common/delay_rule.h"
#include "common/ini_access.h"
#include "common/parse_text.h"

namespace gandry {

DelayReading ReadDelay(IniFile& file, const char* section, const DelaySetting& setting) {
  const std::optional<std::int32_t> parsed = ParseIntComplete(file.ReadValue(section, setting.key));
  return {DelayInEffect(parsed, setting), DelayNeedsWriteBack(parsed, setting)};
}

std::vector<std::string> LoadItems(IniFile& file, MessageChannel* channel, const char* section,
                                   const char* prefix) {
  std::vector<std::string> items;
  for (ItemLine& line : ReadItemLines(file, section, prefix)) {
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

namespace {

// The check of `service` from its [Health SERVICE] section; nothing when the section names no
// usable check. Bad numbers take their defaults, and the watchdog never writes these keys.
std::optional<HealthCheck> LoadHealthCheck(IniFile& file, const std::string& service) {
  // Section names compare in any letter case, as service names do.
  return ParseHealthSection(ReadHealthSection(file, HealthSectionName(service))).check;
}

// Writes the delays in effect back for the settings whose values need it, in one edit. Each is
// looked at again under the edit's lock, since another program may have set it meanwhile. A
// failure leaves the file as it was; the delays read are used all the same.
void WriteDelaysBack(Watchdog& watchdog, const std::string& ini_path,
                     const std::vector<const DelaySetting*>& settings) {
  if (settings.empty()) {
    return;
  }
  Result<std::unique_ptr<IniEdit>> edit = BeginIniEdit(watchdog.ini, watchdog.clock, ini_path);
  if (!edit) {
    return;
  }
  bool changed = false;
  for (const DelaySetting* setting : settings) {
    const DelayReading now = ReadDelay(**edit, kSettingsSection, *setting);
    if (!now.write_back) {
      continue;
    }
    if (!(*edit)->WriteValue(kSettingsSection, setting->key, std::to_string(now.seconds))) {
      return;
    }
    changed = true;
  }
  if (changed) {
    IgnoreFailure(CommitIniEdit(**edit, watchdog.clock),
                  "the delays are written back only as a convenience; they apply all the same");
  }
}

}  // namespace

Status LoadConfiguration(Watchdog& watchdog) {
  const std::string ini_path = DirectoryOf(watchdog.executable_path) + kIniFileName;
  const bool talk = watchdog.mode != kServiceMode;
  if (talk) {
    watchdog.channel.append("Configuration file: [" + ini_path + "]");
  }
  Result<std::unique_ptr<IniFile>> file = ReadIniFile(watchdog.ini, watchdog.clock, ini_path);
  if (!file) {
    return file.error();
  }
  const DelayReading thread = ReadDelay(**file, kSettingsSection, kLoopDelayThread);
  const DelayReading service = ReadDelay(**file, kSettingsSection, kLoopDelayService);
  const DelayReading start = ReadDelay(**file, kSettingsSection, kStartDelayThread);
  std::vector<const DelaySetting*> write_back;
  for (const auto& [reading, setting] :
       {std::pair{thread, &kLoopDelayThread}, std::pair{service, &kLoopDelayService},
        std::pair{start, &kStartDelayThread}}) {
    if (reading.write_back) {
      write_back.push_back(setting);
    }
  }
  // Read only, as is the event style: a watchdog that polls needs nothing in the file.
  const bool notify =
      WatchModeOf((*file)->ReadValue(kSettingsSection, kWatchModeKey)) == WatchMode::kNotify;
  const EventStyle events = EventStyleOf((*file)->ReadValue(kSettingsSection, kEventsKey));
  std::string metrics_file = MetricsFilePath((*file)->ReadValue(kSettingsSection, kMetricsFileKey),
                                             DirectoryOf(watchdog.executable_path));
  // Anything but kill, and no value, leaves hung services as they are.
  const bool kill_hung = ParseHungServiceAction((*file)->ReadValue(
                             kSettingsSection, kHungServicesKey)) == HungServiceAction::kKill;
  std::vector<std::string> items = LoadItems(**file, talk ? &watchdog.channel : nullptr);
  std::vector<std::optional<HealthCheck>> health_checks;
  health_checks.reserve(items.size());
  for (const std::string& item : items) {
    health_checks.push_back(LoadHealthCheck(**file, ReadWatchItem(item).service));
  }
  file->reset();  // an edit could not replace the file while it is open for reading
  WriteDelaysBack(watchdog, ini_path, write_back);

  watchdog.settings.loop_delay_thread_ms = thread.seconds * 1000;
  watchdog.settings.loop_delay_service_ms = service.seconds * 1000;
  watchdog.settings.start_delay_thread_ms = start.seconds * 1000;
  watchdog.settings.notify = notify;
  watchdog.log.SetEventStyle(events);
  watchdog.settings.metrics_file.Set(std::move(metrics_file));
  watchdog.settings.kill_hung = kill_hung;
  watchdog.items = std::move(items);
  watchdog.health_checks = std::move(health_checks);
  return {};
}

}  // namespace gandry
