#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "platform/clock.h"

namespace gandry {

// A clock that never really waits: Sleep moves time on at once. A wake flag already raised
// ends a sleep without moving time. `on_sleep` runs at the start of every sleep, so a test can
// act "during" a pause (raise a flag, stop a service) and see the loop react.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(double start = 46000.5) : now_ms_(0), start_(start) {}

  double Now() override { return start_ + static_cast<double>(now_ms_.load()) / 86'400'000.0; }
  std::int64_t TickMs() override { return now_ms_.load(); }

  bool Sleep(std::chrono::milliseconds duration, const WaitableFlag* wake) override {
    std::function<void(std::chrono::milliseconds)> hook;
    {
      std::lock_guard lock(mutex_);
      hook = on_sleep;
    }
    if (hook) {
      hook(duration);
    }
    ++sleeps_;
    if (wake != nullptr && wake->IsRaised()) {
      return true;
    }
    now_ms_ += duration.count();
    return false;
  }

  void Advance(std::chrono::milliseconds duration) { now_ms_ += duration.count(); }
  int sleeps() const { return sleeps_.load(); }
  void SetOnSleep(std::function<void(std::chrono::milliseconds)> hook) {
    std::lock_guard lock(mutex_);
    on_sleep = std::move(hook);
  }

 private:
  std::atomic<std::int64_t> now_ms_;
  std::atomic<int> sleeps_{0};
  double start_;
  std::mutex mutex_;
  std::function<void(std::chrono::milliseconds)> on_sleep;
};

}  // namespace gandry
