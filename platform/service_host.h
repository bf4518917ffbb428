#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"
#include "platform/service_status.h"

namespace gandry {

// A control request from the service manager.
enum class ServiceRequest : std::uint8_t {
  kStop,
  kPause,
  kContinue,
  kInterrogate,
  kShutdown,
  kParamChange,  // the service's settings have changed
  kOther,        // any request the service did not say it takes
};

// The service's side of the dispatcher: what the process does as the service.
class ServiceHandler {
 public:
  // The service's whole life, on a thread the dispatcher started for it. Reporting stopped
  // must be its last act: the dispatcher may return and the process end straight after.
  virtual void Serve() = 0;
  // One control request, on the dispatcher's thread; must return at once.
  virtual void Control(ServiceRequest request) = 0;

 protected:
  ~ServiceHandler() = default;
};

// Runs this process as a service of the service manager. A process holds one service.
class ServiceHost {
 public:
  virtual ~ServiceHost() = default;
  // Where the handler reports its status; it reaches the service manager once Dispatch has
  // registered the service.
  virtual ServiceStatusReporter& reporter() = 0;
  // Hands the calling thread to the service control dispatcher for the service `name`, which
  // `handler` serves. Returns when the service has stopped, or at once with an error when the
  // process was not started by the service manager.
  virtual Status Dispatch(const std::string& name, ServiceHandler& handler) = 0;
};

}  // namespace gandry
