#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/health_probe.h"
#include "platform/ini_store.h"

namespace gandry {

// The keys of a [Health SERVICE] section, which configures the health check of every item
// that watches SERVICE. The watchdog only reads them.
inline constexpr char kHealthSectionWord[] = "Health";
inline constexpr char kHealthCheckKey[] = "Check";
inline constexpr char kHealthIntervalKey[] = "Interval";
inline constexpr char kHealthTimeoutKey[] = "Timeout";
inline constexpr char kHealthFailuresKey[] = "Failures";
inline constexpr char kHealthGraceKey[] = "Grace";

// A number key's accepted range and the default that replaces a value outside it.
struct HealthNumberRule {
  const char* key;
  int min;
  int max;
  int default_value;
};

inline constexpr HealthNumberRule kHealthInterval{kHealthIntervalKey, 5, 3600, 30};
inline constexpr HealthNumberRule kHealthTimeout{kHealthTimeoutKey, 1, 60, 5};
inline constexpr HealthNumberRule kHealthFailures{kHealthFailuresKey, 1, 100, 3};
inline constexpr HealthNumberRule kHealthGrace{kHealthGraceKey, 0, 3600, 60};
inline constexpr HealthNumberRule kHealthNumbers[] = {kHealthInterval, kHealthTimeout,
                                                      kHealthFailures, kHealthGrace};

// The number a key's text gives when it is a whole number within the rule's range.
std::optional<int> HealthNumberValue(std::string_view text, const HealthNumberRule& rule);
// A check must end before the next one is due.
constexpr bool HealthTimeoutFits(int timeout_seconds, int interval_seconds) {
  return timeout_seconds < interval_seconds;
}

struct HealthCheck {
  HealthTarget target;
  std::string check_text;  // the Check value as written, for the log and for status
  int interval_seconds = kHealthInterval.default_value;
  int timeout_seconds = kHealthTimeout.default_value;  // always below the interval
  int failures = kHealthFailures.default_value;        // failed checks in a row before a restart
  int grace_seconds = kHealthGrace.default_value;      // after a start, before checks count

  friend bool operator==(const HealthCheck&, const HealthCheck&) = default;
};

// The section's values as read; a missing key reads as empty.
struct HealthSectionValues {
  std::string check;
  std::string interval;
  std::string timeout;
  std::string failures;
  std::string grace;
};

struct HealthSectionReading {
  std::optional<HealthCheck> check;  // nothing when Check is missing or bad: no check at all
  // Each value that was not taken as written, as a sentence for `check` to print. Missing
  // numbers take their defaults without a word. The numbers' come first; the Check's, when it
  // has one, last.
  std::vector<std::string> problems;
};

// "Health " followed by the service name.
std::string HealthSectionName(std::string_view service);
// The service whose health section `section` is ("Health" in any letter case, one blank, a
// name); nothing for any other section.
std::optional<std::string> HealthSectionService(std::string_view section);
// Whether `section` is the health section of `service`; the names compare in any letter case,
// as the service manager compares service names.
bool IsHealthSectionOf(std::string_view section, std::string_view service);

// The target a Check value names, or why it names none:
//   tcp://HOST:PORT
//   http://HOST[:PORT][/PATH]   https://HOST[:PORT][/PATH]   (IPv6 addresses in brackets)
//   exec:COMMAND LINE
struct ParsedTarget {
  std::optional<HealthTarget> target;
  std::string problem;
};
ParsedTarget ParseHealthTarget(std::string_view check);

// The program of an exec command line: the text between the leading quotes, or up to the
// first blank or tab, as the system finds a program in a command line.
struct ExecProgram {
  std::string path;
  bool quoted = false;
};
ExecProgram ExecProgramOf(std::string_view command_line);

HealthSectionReading ParseHealthSection(const HealthSectionValues& values);

// The name of `service`'s health section as `file` spells it; nothing when it has none.
std::optional<std::string> FindHealthSection(IniFile& file, std::string_view service);
// The values of the section of that name.
HealthSectionValues ReadHealthSection(IniFile& file, const std::string& section);

// Why a check failed, as the log line's last part says it ("connection refused", "timed out
// after 5 s", "HTTP status 503", "exit code 3").
std::string DescribeProbeFailure(const ProbeOutcome& outcome);

}  // namespace gandry
