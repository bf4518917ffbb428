#pragma once

#include "platform/clock.h"

namespace gandry {

// The local clock of Windows; sleeps are waits on the wake flag, so a raise cuts them short.
class WinClock final : public Clock {
 public:
  CivilTime LocalTime() override;
  std::int64_t UnixTimeMs() override;
  std::int64_t TickMs() override;
  bool Sleep(std::chrono::milliseconds duration, const WaitableFlag* wake) override;
};

}  // namespace gandry
