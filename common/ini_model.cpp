#include "common/ini_model.h"

#include <algorithm>
#include <utility>

#include "common/ascii_text.h"
#include "common/parse_text.h"

namespace gandry {

namespace {

constexpr char kWatchModePoll[] = "poll";
constexpr char kWatchModeNotify[] = "notify";
constexpr char kHungLeave[] = "leave";
constexpr char kHungKill[] = "kill";
constexpr char kItemSeparator = '|';

}  // namespace

WatchMode WatchModeOf(std::string_view value) {
  return EqualsNoCase(value, kWatchModeNotify) ? WatchMode::kNotify : WatchMode::kPoll;
}

std::optional<WatchMode> ParseWatchMode(std::string_view value) {
  if (EqualsNoCase(value, kWatchModePoll)) {
    return WatchMode::kPoll;
  }
  if (EqualsNoCase(value, kWatchModeNotify)) {
    return WatchMode::kNotify;
  }
  return std::nullopt;
}

const char* WatchModeName(WatchMode mode) {
  return mode == WatchMode::kNotify ? kWatchModeNotify : kWatchModePoll;
}

std::optional<HungServiceAction> ParseHungServiceAction(std::string_view value) {
  if (EqualsNoCase(value, kHungLeave)) {
    return HungServiceAction::kLeave;
  }
  if (EqualsNoCase(value, kHungKill)) {
    return HungServiceAction::kKill;
  }
  return std::nullopt;
}

const char* HungServiceActionName(HungServiceAction action) {
  return action == HungServiceAction::kKill ? kHungKill : kHungLeave;
}

ItemFields SplitItem(std::string_view value) {
  return {ExtractField(value, 1, kItemSeparator), ExtractField(value, 3, kItemSeparator),
          ExtractField(value, 4, kItemSeparator)};
}

WatchItem ReadWatchItem(std::string_view value) {
  ItemFields fields = SplitItem(value);
  return {std::move(fields.service), ParseIntLoose(fields.attempts), ParseIntLoose(fields.period)};
}

std::optional<std::int32_t> ItemNumber(std::string_view field) {
  if (field.empty()) {
    return 0;
  }
  return ParseIntComplete(field);
}

std::string ComposeItem(std::string_view service, int attempts, int period_minutes) {
  std::string value(service);
  value += kItemSeparator;
  value += kItemSeparator;
  value += std::to_string(attempts);
  value += kItemSeparator;
  value += std::to_string(period_minutes);
  return value;
}

std::vector<ItemLine> ReadItemLines(IniFile& file, const char* section, const char* prefix) {
  std::vector<ItemLine> lines;
  for (const std::string& key : file.ListKeys(section)) {
    const std::string line = key + "=" + file.ReadValue(section, key);
    if (StartsWithNoCase(line, prefix)) {
      std::string value = line.substr(line.find('=') + 1);
      const bool cut = value.size() > kItemValueMax;
      value.resize(std::min(value.size(), kItemValueMax));
      lines.push_back({key, std::move(value), cut});
    }
  }
  return lines;
}

std::string DirectoryOf(std::string_view path) {
  const std::size_t last = path.find_last_of("\\:");
  if (last == std::string_view::npos) {
    return {};
  }
  return std::string(path.substr(0, last + 1));
}

}  // namespace gandry
