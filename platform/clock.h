#pragma once

#include <chrono>
#include <cstdint>

#include "platform/waitable_flag.h"

namespace gandry {

// A calendar date and time of day, as the local clock shows it.
struct CivilTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Time and pausing, injected into every loop so that tests can run them on a fake clock.
class Clock {
 public:
  virtual ~Clock() = default;
  // Local wall-clock time.
  virtual CivilTime LocalTime() = 0;
  // Milliseconds since 1970-01-01 00:00 UTC, for times shown outside the watchdog.
  virtual std::int64_t UnixTimeMs() = 0;
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
