#pragma once

#include <array>
#include <iterator>
#include <optional>
#include <string>

#include "common/health_check.h"
#include "manager/command_line.h"
#include "manager/manager.h"
#include "platform/result.h"

namespace gandry {

// A health check as a command line gives it: the Check, and each number that was given.
struct HealthRequest {
  std::string check;
  std::array<std::optional<int>, std::size(kHealthNumbers)> numbers;  // as kHealthNumbers
};

// "CHECK every N s, time-out N s, restart after N failed in a row, grace N s".
std::string DescribeHealthCheck(const HealthCheck& check);

// Whether the command line gives any of the numbers' options (--interval, --timeout, --failures,
// --grace).
bool HasHealthNumbers(const ManagerArgs& args);

// The check and the numbers' options of `args`, or nothing when any of them cannot be used
// (said on err, before anything is written).
std::optional<HealthRequest> ParseHealthRequest(Manager& manager, const ManagerArgs& args,
                                                const std::string& check);

// Makes the health section of `service` hold the request: the file's own section of that
// service in whatever letter case, or a new one, with one line per key. Numbers not given are
// removed, so that their defaults apply. Returns the line that says what was set.
Result<std::string> WriteHealthSection(IniEdit& edit, const std::string& service,
                                       const HealthRequest& request);

// health SERVICE CHECK [numbers] | health SERVICE off, for a service that an item lists.
int RunHealth(Manager& manager, const ManagerArgs& args);

}  // namespace gandry
