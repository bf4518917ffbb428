#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/live_item.h"

namespace gandry {

// What the metrics file says besides the items.
struct MetricsRun {
  bool up = true;  // false only for the last write of a clean stop
  std::uint64_t reloads = 0;
  std::string_view version;
};

// The metrics file in Prometheus's text exposition format, with HELP and TYPE lines for every
// metric. Items of one service (letter case aside) make one series, under the first item's
// spelling of the name: counters, attempts left and health failures added up, the first
// item's state, the latest last start. Service names must be UTF-8 already.
std::string MetricsText(const std::vector<LiveItem>& items, const MetricsRun& run);

}  // namespace gandry
