#pragma once

#include "platform/health_probe.h"

namespace gandry {

// Health checks through Winsock (tcp), WinHTTP without a proxy (http, https) and a job object
// that holds the program and everything it starts (exec).
class WinHealthProbe final : public HealthProbe {
 public:
  ProbeOutcome Run(const HealthTarget& target, std::chrono::seconds timeout,
                   const WaitableFlag& stop) override;
};

}  // namespace gandry
