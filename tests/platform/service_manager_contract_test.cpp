#include <string>

#include "fakes/fake_clock.h"
#include "fakes/fake_service_manager.h"
#include "support/service_manager_contract.h"

namespace gandry {
namespace {

// The fake, with pending states that last a few queries, as real services take a moment.
class FakeImplementation {
 public:
  ServiceManager& services() { return fake_; }
  Clock& clock() { return clock_; }
  std::string AddService() {
    std::string name = "svc" + std::to_string(++added_);
    fake_.Add(name, ServiceState::kStopped).PendFor(2);
    return name;
  }
  std::string AddServiceWithoutStop() {
    std::string name = AddService();
    fake_.Find(name)->refuse = win_error::kInvalidServiceControl;
    return name;
  }

 private:
  FakeServiceManager fake_;
  FakeClock clock_;
  int added_ = 0;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, ServiceManagerContract, FakeImplementation);

}  // namespace
}  // namespace gandry
