#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace gandry {

// Why a platform call failed: the operating system's error code (GetLastError on Windows).
struct SystemError {
  std::uint32_t code = 0;
};

// The outcome of a platform call: a value, or the error that kept the call from giving one.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(SystemError error) : error_(error) {}   // NOLINT(google-explicit-constructor)

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  // Only when ok().
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T value_or(T fallback) const& { return value_ ? *value_ : std::move(fallback); }

  // Only when !ok().
  SystemError error() const { return error_; }

 private:
  std::optional<T> value_;
  SystemError error_{};
};

// The outcome of a platform call that gives no value.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(SystemError error)
      : failed_(true), error_(error) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  SystemError error() const { return error_; }

 private:
  bool failed_ = false;
  SystemError error_{};
};

using Status = Result<void>;

}  // namespace gandry
