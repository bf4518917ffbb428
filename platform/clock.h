#pragma once

#include <chrono>
#include <cstdint>

#include "common/waitable_flag.h"

namespace gandry {

// Time and pausing, injected into every loop so that tests can run them on a fake clock.
class Clock {
 public:
  virtual ~Clock() = default;
  // Local wall-clock time as a date-time: days since 30 December 1899, time of day as fraction.
  virtual double Now() = 0;
  // Milliseconds on a monotonic clock, for bounding waits.
  virtual std::int64_t TickMs() = 0;
  // Pauses for `duration`, or until `wake` (when given) is raised; returns whether it was raised.
  virtual bool Sleep(std::chrono::milliseconds duration, const WaitableFlag* wake) = 0;

  // Pauses until `wake` is raised, however long that takes.
  void SleepUntil(const WaitableFlag& wake) {
    while (!wake.IsRaised() && !Sleep(std::chrono::hours(1), &wake)) {
    }
  }
};

}  // namespace gandry
