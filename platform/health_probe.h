#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/waitable_flag.h"

namespace gandry {

// What a health check asks of a service: a TCP connection, an HTTP(S) GET, or a program run.
enum class HealthCheckKind : std::uint8_t { kTcp, kHttp, kHttps, kExec };

struct HealthTarget {
  HealthCheckKind kind = HealthCheckKind::kTcp;
  std::string host;          // tcp, http, https: a name or an address (IPv6 without brackets)
  std::uint16_t port = 0;    // tcp, http, https
  std::string path = "/";    // http, https: the path and query sent in the GET
  std::string program;       // exec: the program file, as the command line names it first
  std::string command_line;  // exec: the whole command line, program first

  friend bool operator==(const HealthTarget&, const HealthTarget&) = default;
};

// Why a check failed. `ProbeOutcome::detail` carries the number that goes with it.
enum class ProbeFailure : std::uint8_t {
  kNone,             // healthy
  kRefused,          // nothing listens on the port
  kTimedOut,         // detail: the time-out in seconds
  kHostNotFound,     // the name did not resolve; detail: the system's error code
  kUnreachable,      // no route to the host; detail: the system's error code
  kConnectFailed,    // any other failed connection; detail: the system's error code
  kTlsFailed,        // https: the secure channel or the certificate; detail: error code
  kBadResponse,      // no HTTP answer, or one that could not be read; detail: error code
  kHttpStatus,       // detail: a status outside 200 to 399
  kExitCode,         // detail: the program's nonzero exit code
  kProgramNotFound,  // the program file does not exist; detail: the system's error code
  kStartFailed,      // the program could not be started; detail: the system's error code
  kCancelled,        // the stop flag was raised before the check ended: no verdict
  kProbeFailed,      // the check could not be made at all; detail: the system's error code
};

struct ProbeOutcome {
  ProbeFailure failure = ProbeFailure::kNone;
  std::uint32_t detail = 0;

  bool healthy() const { return failure == ProbeFailure::kNone; }
  friend bool operator==(const ProbeOutcome&, const ProbeOutcome&) = default;
};

// Runs health checks. Thread-safe: monitors run their checks at the same time.
class HealthProbe {
 public:
  virtual ~HealthProbe() = default;
  // Makes one check and returns within `timeout` (plus the moment it takes to end an exec
  // check's processes), or at once when `stop` is raised (kCancelled). A check still under way
  // then is abandoned; whatever it left running is ended.
  virtual ProbeOutcome Run(const HealthTarget& target, std::chrono::seconds timeout,
                           const WaitableFlag& stop) = 0;
};

}  // namespace gandry
