#include "watchdog/zt_utils.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace gandry {

namespace {

// Bounds of a pending-state wait. A service that hangs in a pending state must neither pin a
// core nor hold its monitor for good.
constexpr std::chrono::milliseconds kMinPollPause{100};
constexpr std::chrono::milliseconds kMaxPollPause{1000};
constexpr std::int64_t kMinStallMs = 30'000;
constexpr std::int64_t kMaxWaitMs = std::chrono::milliseconds(kPendingWaitLimit).count();

// A tenth of the wait hint, as the service manager's own guidance suggests, but never a busy
// loop and never slower than one poll a second.
std::chrono::milliseconds PollPause(std::uint32_t wait_hint_ms) {
  return std::clamp(std::chrono::milliseconds(wait_hint_ms / 10), kMinPollPause, kMaxPollPause);
}

// Polls while the service stays in `pending` (or in `also`); returns the last state obtained. Gives
// up when the check point has not moved for the wait hint (at least 30 s), after ten minutes in
// all, or when `cancel` is raised.
ServiceState WaitWhilePending(OpenedService& service, Clock& clock, ServiceState pending,
                              std::optional<ServiceState> also, const WaitableFlag* cancel) {
  Result<ServiceStatus> status = service.Query();
  if (!status) {
    return ServiceState::kUnknown;
  }
  const std::int64_t started = clock.TickMs();
  std::int64_t progressed = started;
  std::uint32_t check_point = status->check_point;
  ServiceState state = status->state;
  while (state == pending || state == also) {
    const std::int64_t now = clock.TickMs();
    const std::int64_t stall_limit = std::max<std::int64_t>(status->wait_hint_ms, kMinStallMs);
    if (now - started >= kMaxWaitMs || now - progressed >= stall_limit) {
      break;
    }
    if (clock.Sleep(PollPause(status->wait_hint_ms), cancel)) {
      break;
    }
    status = service.Query();
    if (!status) {
      break;
    }
    state = status->state;
    if (status->check_point != check_point) {
      check_point = status->check_point;
      progressed = clock.TickMs();
    }
  }
  return state;
}

// The outcome of a lenient integer parse; `complete` tells whether the text held digits and
// ended within the limits.
struct IntParse {
  std::int32_t value = 0;
  bool complete = false;
};

int DigitValue(char c, int base) {
  int digit = -1;
  if (c >= '0' && c <= '9') {
    digit = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    digit = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    digit = c - 'A' + 10;
  }
  return digit < base ? digit : -1;
}

IntParse ParseInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  std::uint32_t digit_limit = 214748364;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (base == 16) {
    digit_limit = 268435455;
    if (i == text.size()) {
      return {};  // a hexadecimal prefix without digits
    }
  }
  // Unsigned arithmetic: the limits keep the value below 2^32, and the wrap to 32 bits below is
  // then well defined.
  std::uint32_t magnitude = 0;
  const std::size_t first_digit = i;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0 || magnitude > digit_limit) {
      return {static_cast<std::int32_t>(magnitude), false};
    }
    magnitude = magnitude * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
  }
  if (base == 10 && magnitude > (negative ? 2147483648u : 2147483647u)) {
    const std::uint32_t wrapped = negative ? 0u - magnitude : magnitude;
    return {static_cast<std::int32_t>(wrapped), false};
  }
  const std::uint32_t signed_bits = negative ? 0u - magnitude : magnitude;
  return {static_cast<std::int32_t>(signed_bits), i > first_digit};
}

}  // namespace

ServiceState QueryState(ServiceManager& services, const std::string& name) {
  Result<std::unique_ptr<OpenedService>> service = services.Open(name, ServiceAccess::kQuery);
  if (!service) {
    return ServiceState::kUnknown;
  }
  Result<ServiceStatus> status = (*service)->Query();
  return status ? status->state : ServiceState::kUnknown;
}

bool StartAndWait(ServiceManager& services, Clock& clock, const std::string& name,
                  const WaitableFlag* cancel) {
  Result<std::unique_ptr<OpenedService>> service =
      services.Open(name, ServiceAccess::kQueryAndStart);
  if (!service) {
    return false;
  }
  IgnoreFailure((*service)->Start(),
                "a service already running has done what was asked; the state afterwards tells");
  return WaitWhilePending(**service, clock, ServiceState::kStartPending, std::nullopt, cancel) ==
         ServiceState::kRunning;
}

bool StopAndWait(ServiceManager& services, Clock& clock, const std::string& name,
                 const WaitableFlag* cancel, std::uint32_t* refusal) {
  if (refusal != nullptr) {
    *refusal = 0;
  }
  Result<std::unique_ptr<OpenedService>> service =
      services.Open(name, ServiceAccess::kQueryAndStop);
  if (!service) {
    return false;
  }
  // A service may take the stop control and report stop pending only a moment later. Taking
  // its "running" of that moment for the outcome would let a scheduled restart start a service
  // that is still running, report success, and leave it stopped; so after an accepted stop,
  // running is waited out like stop pending.
  const Status sent = (*service)->Control(ControlCode::kStop);
  const bool accepted = sent.ok();
  if (!accepted && refusal != nullptr) {
    *refusal = sent.error().code;
  }
  const std::optional<ServiceState> still =
      accepted ? std::optional(ServiceState::kRunning) : std::nullopt;
  return WaitWhilePending(**service, clock, ServiceState::kStopPending, still, cancel) ==
         ServiceState::kStopped;
}

std::string ExtractField(std::string_view text, int index, char separator) {
  if (index < 1) {
    return {};
  }
  std::size_t begin = 0;
  for (int field = 1; field < index; ++field) {
    const std::size_t next = text.find(separator, begin);
    if (next == std::string_view::npos) {
      return {};
    }
    begin = next + 1;
  }
  const std::size_t end = text.find(separator, begin);
  return std::string(text.substr(begin, end == std::string_view::npos ? text.npos : end - begin));
}

std::int32_t ParseIntLoose(std::string_view text) {
  return ParseInt(text).value;
}

std::optional<std::int32_t> ParseIntComplete(std::string_view text) {
  const IntParse parse = ParseInt(text);
  if (!parse.complete) {
    return std::nullopt;
  }
  return parse.value;
}

double AddMinutes(int minutes, double time) {
  const long double result =
      (static_cast<long double>(time) * 1440.0L + static_cast<long double>(minutes)) / 1440.0L;
  return static_cast<double>(result);
}

}  // namespace gandry
