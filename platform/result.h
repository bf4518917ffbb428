#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <utility>

namespace gandry {

// What kind of failure a platform call met, as far as the portable code tells failures apart.
// The platform sorts the system's own codes into these once; all others are kOther.
enum class ErrorKind : std::uint8_t {
  kOther,
  kAccessDenied,
  kNoSuchService,
  kAlreadyRunning,     // a start of a service that is not stopped
  kNotRunning,         // a control sent to a stopped service
  kDependentsRunning,  // a stop refused while services that depend on it run
  kMarkedForDelete,
  kTimedOut,
  kNotSupported,  // this system does not have the call, the setting or the level asked for
  kBusy,          // another program holds the file or lock for now: worth trying again
};

// Why a platform call failed: its kind, for the code to act on, and the system's own error
// code (GetLastError on Windows), for the texts that show it.
struct SystemError {
  ErrorKind kind = ErrorKind::kOther;
  std::uint32_t code = 0;
};

// The outcome of a platform call: a value, or the error that kept the call from giving one.
// Reading the value of a failure, or the error of a success, is a programming error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(SystemError error) : error_(error) {}   // NOLINT(google-explicit-constructor)

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  T& value() & { return Checked(); }
  const T& value() const& { return Checked(); }
  T&& value() && { return std::move(Checked()); }
  T& operator*() & { return Checked(); }
  const T& operator*() const& { return Checked(); }
  T&& operator*() && { return std::move(Checked()); }
  T* operator->() { return &Checked(); }
  const T* operator->() const { return &Checked(); }
  T value_or(T fallback) const& { return value_ ? *value_ : std::move(fallback); }

  SystemError error() const {
    assert(!ok() && "error() of a Result that holds a value");
    return error_;
  }

 private:
  T& Checked() {
    assert(ok() && "value of a failed Result");
    return *value_;
  }
  const T& Checked() const {
    assert(ok() && "value of a failed Result");
    return *value_;
  }

  std::optional<T> value_;
  SystemError error_{};
};

// The outcome of a platform call that gives no value.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(SystemError error)  // NOLINT(google-explicit-constructor)
      : failed_(true), error_(error) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  SystemError error() const {
    assert(!ok() && "error() of a Result that succeeded");
    return error_;
  }

 private:
  bool failed_ = false;
  SystemError error_{};
};

using Status = Result<void>;

// Drops a failure on purpose. `why` names the reason at the call, so that every deliberately
// ignored failure can be found and read in one search.
template <class T>
void IgnoreFailure(const Result<T>& result, const char* why) {
  static_cast<void>(result);
  static_cast<void>(why);
}

}  // namespace gandry
