#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace gandry {

// Why the watchdog started a service.
enum class StartReason : std::uint8_t {
  kStopped,    // found stopped and started
  kScheduled,  // the restart every N minutes
  kHealth,     // failed health checks
};
inline constexpr std::size_t kStartReasonCount = 3;

// What the watchdog knows of one item while it runs: the live state that the metrics file and
// the manager's status show. Times are Unix seconds, 0 for never.
struct LiveItem {
  std::string service;       // the item's service name, as written in the item
  std::uint8_t state = 255;  // the service manager's state number, 255 when unknown
  std::int32_t attempts_left = 0;
  std::int64_t next_restart = 0;     // the next scheduled restart; 0 without one
  std::int32_t health_failures = 0;  // failed checks in a row; 0 without a check
  std::array<std::uint64_t, kStartReasonCount> starts{};  // successful starts by StartReason
  std::uint64_t start_failures = 0;
  std::int64_t last_start = 0;  // the last successful start or restart by the watchdog

  friend bool operator==(const LiveItem&, const LiveItem&) = default;
};

}  // namespace gandry
