#include "watchdog/metrics_text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <unordered_map>

#include "common/ascii_text.h"

namespace gandry {

namespace {

constexpr std::array<const char*, kStartReasonCount> kReasonLabels = {"stopped", "scheduled",
                                                                      "health"};

// A label value between double quotes, with the three characters the format escapes.
void AppendLabelValue(std::string& out, std::string_view value) {
  out += '"';
  for (const char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  out += '"';
}

void AppendHeader(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

template <class Number>
void AppendSample(std::string& out, const char* name, const std::string& labels, Number value) {
  out += name;
  out += labels;
  out += ' ';
  out += std::to_string(value);
  out += '\n';
}

// The items merged by service, in the order each service first appears.
std::vector<LiveItem> MergedByService(const std::vector<LiveItem>& items) {
  std::vector<LiveItem> merged;
  merged.reserve(items.size());
  std::unordered_map<std::string, std::size_t> index;  // by the lower-case name
  for (const LiveItem& item : items) {
    const auto [found, added] = index.try_emplace(ToLower(item.service), merged.size());
    if (added) {
      merged.push_back(item);
      continue;
    }
    LiveItem* same = &merged[found->second];
    same->attempts_left += item.attempts_left;
    same->health_failures += item.health_failures;
    for (std::size_t r = 0; r < kStartReasonCount; ++r) {
      same->starts[r] += item.starts[r];
    }
    same->start_failures += item.start_failures;
    same->last_start = std::max(same->last_start, item.last_start);
  }
  return merged;
}

}  // namespace

std::string MetricsText(const std::vector<LiveItem>& items, const MetricsRun& run) {
  const std::vector<LiveItem> merged = MergedByService(items);
  std::vector<std::string> labels;  // {service="..."} of each merged item
  labels.reserve(merged.size());
  for (const LiveItem& item : merged) {
    std::string label = "{service=";
    AppendLabelValue(label, item.service);
    labels.push_back(std::move(label));
  }

  std::string out;
  out.reserve(1024 + merged.size() * 640);
  AppendHeader(out, "gandry_up", "gauge", "1 while the watchdog runs, 0 after it stopped cleanly.");
  AppendSample(out, "gandry_up", "", run.up ? 1 : 0);
  AppendHeader(out, "gandry_info", "gauge", "The watchdog's version.");
  std::string version = "{version=";
  AppendLabelValue(version, run.version);
  AppendSample(out, "gandry_info", version + "}", 1);
  AppendHeader(out, "gandry_reloads_total", "counter",
               "Configuration reloads since the watchdog started.");
  AppendSample(out, "gandry_reloads_total", "", run.reloads);

  // One metric at a time: the format wants each metric's samples together.
  const auto each = [&](const char* name, const char* type, const char* help, auto value) {
    AppendHeader(out, name, type, help);
    for (std::size_t i = 0; i < merged.size(); ++i) {
      AppendSample(out, name, labels[i] + "}", value(merged[i]));
    }
  };
  each("gandry_item_service_state", "gauge",
       "The service manager's state of the service (1 stopped to 7 paused), 255 when unknown.",
       [](const LiveItem& item) { return static_cast<unsigned>(item.state); });
  AppendHeader(out, "gandry_item_starts_total", "counter",
               "Successful starts and restarts of the service by the watchdog, by reason.");
  for (std::size_t i = 0; i < merged.size(); ++i) {
    for (std::size_t r = 0; r < kStartReasonCount; ++r) {
      AppendSample(out, "gandry_item_starts_total",
                   labels[i] + ",reason=\"" + kReasonLabels[r] + "\"}", merged[i].starts[r]);
    }
  }
  each("gandry_item_start_failures_total", "counter",
       "Starts of the service by the watchdog that failed.",
       [](const LiveItem& item) { return item.start_failures; });
  each("gandry_item_attempts_left", "gauge",
       "Start attempts the watchdog has left for the service.",
       [](const LiveItem& item) { return item.attempts_left; });
  each("gandry_item_health_failures", "gauge",
       "Failed health checks of the service in a row, 0 without a check.",
       [](const LiveItem& item) { return item.health_failures; });
  each("gandry_item_last_start_timestamp_seconds", "gauge",
       "Unix time of the watchdog's last successful start or restart of the service, 0 before "
       "the first.",
       [](const LiveItem& item) { return item.last_start; });
  return out;
}

}  // namespace gandry
