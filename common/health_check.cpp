#include "common/health_check.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>

#include "common/ascii_text.h"

namespace gandry {

namespace {

constexpr std::string_view kTcpScheme = "tcp://";
constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";
constexpr std::string_view kExecScheme = "exec:";
constexpr std::uint16_t kHttpPort = 80;
constexpr std::uint16_t kHttpsPort = 443;

// A whole decimal number with an optional sign and nothing else; values beyond int fail.
std::optional<int> ParseWhole(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

struct Authority {
  std::string host;
  std::optional<std::uint16_t> port;
  std::string problem;
};

// HOST[:PORT], the host an IPv6 address in brackets or a name or address without ':'.
Authority ParseAuthority(std::string_view text) {
  Authority result;
  std::string_view host = text;
  std::string_view port;
  bool has_port = false;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) {
      result.problem = "an IPv6 address without its closing bracket";
      return result;
    }
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') {
      result.problem = "text after the IPv6 address";
      return result;
    }
    has_port = !rest.empty();
    port = has_port ? rest.substr(1) : rest;
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    has_port = true;
  }
  if (host.empty()) {
    result.problem = "no host";
    return result;
  }
  if (host.find_first_of(" \t@[]") != std::string_view::npos ||
      (text.front() != '[' && host.find(':') != std::string_view::npos)) {
    result.problem = "a host name that cannot be one";
    return result;
  }
  if (has_port) {
    const bool digits = !port.empty() && port.find_first_not_of("0123456789") == port.npos;
    const std::optional<int> number = digits ? ParseWhole(port) : std::nullopt;
    if (!number || *number < 1 || *number > 65535) {
      result.problem = "a port that is not a number from 1 to 65535";
      return result;
    }
    result.port = static_cast<std::uint16_t>(*number);
  }
  result.host = std::string(host);
  return result;
}

ParsedTarget Failed(std::string problem) {
  return ParsedTarget{std::nullopt, std::move(problem)};
}

ParsedTarget ParseTcp(std::string_view rest) {
  if (rest.find_first_of("/?#") != std::string_view::npos) {
    return Failed("a TCP check takes no path");
  }
  Authority authority = ParseAuthority(rest);
  if (!authority.problem.empty()) {
    return Failed(std::move(authority.problem));
  }
  if (!authority.port) {
    return Failed("a TCP check needs a port");
  }
  HealthTarget target;
  target.kind = HealthCheckKind::kTcp;
  target.host = std::move(authority.host);
  target.port = *authority.port;
  return ParsedTarget{std::move(target), {}};
}

ParsedTarget ParseHttp(std::string_view rest, bool secure) {
  const std::size_t path_start = rest.find_first_of("/?#");
  std::string_view path = path_start == std::string_view::npos ? "" : rest.substr(path_start);
  if (path.find_first_of(" \t#") != std::string_view::npos) {
    return Failed("blanks or a '#' in the path");
  }
  Authority authority = ParseAuthority(rest.substr(0, path_start));
  if (!authority.problem.empty()) {
    return Failed(std::move(authority.problem));
  }
  HealthTarget target;
  target.kind = secure ? HealthCheckKind::kHttps : HealthCheckKind::kHttp;
  target.host = std::move(authority.host);
  target.port = authority.port.value_or(secure ? kHttpsPort : kHttpPort);
  target.path = path.empty() || path.front() == '/' ? std::string(path) : "/" + std::string(path);
  if (target.path.empty()) {
    target.path = "/";
  }
  return ParsedTarget{std::move(target), {}};
}

// Reads one number key: its value when it lies in the rule's range, else the default, with a
// problem noted for a value that was written.
int ReadNumber(const std::string& text, const HealthNumberRule& rule,
               std::vector<std::string>& problems) {
  if (Trim(text).empty()) {
    return rule.default_value;
  }
  if (const std::optional<int> value = HealthNumberValue(text, rule)) {
    return *value;
  }
  problems.push_back(std::string(rule.key) + "=" + std::string(Trim(text)) +
                     " is not a whole number from " + std::to_string(rule.min) + " to " +
                     std::to_string(rule.max) + "; " + std::to_string(rule.default_value) +
                     " is used.");
  return rule.default_value;
}

}  // namespace

std::optional<int> HealthNumberValue(std::string_view text, const HealthNumberRule& rule) {
  const std::optional<int> value = ParseWhole(text);
  if (value && *value >= rule.min && *value <= rule.max) {
    return value;
  }
  return std::nullopt;
}

std::string HealthSectionName(std::string_view service) {
  return std::string(kHealthSectionWord) + " " + std::string(service);
}

std::optional<std::string> HealthSectionService(std::string_view section) {
  constexpr std::string_view word = kHealthSectionWord;
  if (section.size() <= word.size() + 1 || !StartsWithNoCase(section, word) ||
      section[word.size()] != ' ') {
    return std::nullopt;
  }
  const std::string_view service = section.substr(word.size() + 1);
  if (service.front() == ' ' || service.front() == '\t') {
    return std::nullopt;
  }
  return std::string(service);
}

bool IsHealthSectionOf(std::string_view section, std::string_view service) {
  const std::optional<std::string> named = HealthSectionService(section);
  return named && EqualsNoCase(*named, service);
}

ParsedTarget ParseHealthTarget(std::string_view check) {
  check = Trim(check);
  if (check.empty()) {
    return Failed("no check");
  }
  if (StartsWithNoCase(check, kExecScheme)) {
    const std::string_view command_line = Trim(check.substr(kExecScheme.size()));
    if (command_line.empty()) {
      return Failed("no command line after exec:");
    }
    HealthTarget target;
    target.kind = HealthCheckKind::kExec;
    target.path.clear();
    target.program = ExecProgramOf(command_line).path;
    if (target.program.empty()) {
      return Failed("no program in the command line");
    }
    target.command_line = std::string(command_line);
    return ParsedTarget{std::move(target), {}};
  }
  if (check.find_first_of(" \t") != std::string_view::npos) {
    return Failed("blanks in the address");
  }
  if (StartsWithNoCase(check, kTcpScheme)) {
    return ParseTcp(check.substr(kTcpScheme.size()));
  }
  if (StartsWithNoCase(check, kHttpScheme)) {
    return ParseHttp(check.substr(kHttpScheme.size()), false);
  }
  if (StartsWithNoCase(check, kHttpsScheme)) {
    return ParseHttp(check.substr(kHttpsScheme.size()), true);
  }
  return Failed("not tcp://HOST:PORT, http://HOST[:PORT]/PATH, https://... or exec:COMMAND LINE");
}

ExecProgram ExecProgramOf(std::string_view command_line) {
  command_line = Trim(command_line);
  if (!command_line.empty() && command_line.front() == '"') {
    const std::string_view rest = command_line.substr(1);
    return ExecProgram{std::string(rest.substr(0, rest.find('"'))), true};
  }
  return ExecProgram{std::string(command_line.substr(0, command_line.find_first_of(" \t"))), false};
}

HealthSectionReading ParseHealthSection(const HealthSectionValues& values) {
  HealthSectionReading reading;
  HealthCheck check;
  check.interval_seconds = ReadNumber(values.interval, kHealthInterval, reading.problems);
  check.timeout_seconds = ReadNumber(values.timeout, kHealthTimeout, reading.problems);
  check.failures = ReadNumber(values.failures, kHealthFailures, reading.problems);
  check.grace_seconds = ReadNumber(values.grace, kHealthGrace, reading.problems);
  if (!HealthTimeoutFits(check.timeout_seconds, check.interval_seconds)) {
    // The shortest interval is the default time-out, so the default alone may not fit either.
    const int fitting = std::min(kHealthTimeout.default_value, check.interval_seconds - 1);
    reading.problems.push_back("Timeout=" + std::to_string(check.timeout_seconds) +
                               " is not below Interval (" + std::to_string(check.interval_seconds) +
                               "); " + std::to_string(fitting) + " is used.");
    check.timeout_seconds = fitting;
  }
  const std::string_view text = Trim(values.check);
  if (text.empty()) {
    reading.problems.push_back("Check is missing; the service has no health check.");
    return reading;
  }
  ParsedTarget parsed = ParseHealthTarget(text);
  if (!parsed.target) {
    reading.problems.push_back("Check=" + std::string(text) + ": " + parsed.problem +
                               "; the service has no health check.");
    return reading;
  }
  check.target = std::move(*parsed.target);
  check.check_text = std::string(text);
  reading.check = std::move(check);
  return reading;
}

std::optional<std::string> FindHealthSection(IniFile& file, std::string_view service) {
  for (std::string& section : file.ListSections()) {
    if (IsHealthSectionOf(section, service)) {
      return std::move(section);
    }
  }
  return std::nullopt;
}

HealthSectionValues ReadHealthSection(IniFile& file, const std::string& section) {
  return {file.ReadValue(section, kHealthCheckKey), file.ReadValue(section, kHealthIntervalKey),
          file.ReadValue(section, kHealthTimeoutKey), file.ReadValue(section, kHealthFailuresKey),
          file.ReadValue(section, kHealthGraceKey)};
}

std::string DescribeProbeFailure(const ProbeOutcome& outcome) {
  const std::string detail = std::to_string(outcome.detail);
  switch (outcome.failure) {
    case ProbeFailure::kNone:
      return "healthy";
    case ProbeFailure::kRefused:
      return "connection refused";
    case ProbeFailure::kTimedOut:
      return "timed out after " + detail + " s";
    case ProbeFailure::kHostNotFound:
      return "host not found";
    case ProbeFailure::kUnreachable:
      return "host unreachable";
    case ProbeFailure::kConnectFailed:
      return "connection failed (error " + detail + ")";
    case ProbeFailure::kTlsFailed:
      return "secure connection failed (error " + detail + ")";
    case ProbeFailure::kBadResponse:
      return "no valid HTTP response (error " + detail + ")";
    case ProbeFailure::kHttpStatus:
      return "HTTP status " + detail;
    case ProbeFailure::kExitCode:
      return "exit code " + detail;
    case ProbeFailure::kProgramNotFound:
      return "program not found";
    case ProbeFailure::kStartFailed:
      return "program could not be started (error " + detail + ")";
    case ProbeFailure::kCancelled:
      return "cancelled by the watchdog's stop";
    case ProbeFailure::kProbeFailed:
      return "check could not be made (error " + detail + ")";
  }
  return "unknown failure";
}

}  // namespace gandry
