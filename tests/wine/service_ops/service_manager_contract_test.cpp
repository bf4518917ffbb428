#include <memory>
#include <string>
#include <vector>

#include "platform/win/win_clock.h"
#include "platform/win/win_service_manager.h"
#include "support/service_manager_contract.h"
#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/registered_service.h"

namespace gandry {
namespace {

// The Win32 implementation on Wine's service manager, with test_service.exe registered anew
// for each service a case asks for.
class WinImplementation {
 public:
  ServiceManager& services() { return services_; }
  Clock& clock() { return clock_; }
  std::string AddService() { return Register(""); }
  std::string AddServiceWithoutStop() { return Register("--no-stop"); }

 private:
  std::string Register(const std::string& options) {
    registered_.push_back(std::make_unique<rig::RegisteredService>(
        rig::UniqueName("gandry-contract"), rig::TestServiceCommand(options)));
    EXPECT_TRUE(registered_.back()->registered());
    return registered_.back()->name();
  }

  WinServiceManager services_{ScmAccess::kConnect};
  WinClock clock_;
  std::vector<std::unique_ptr<rig::RegisteredService>> registered_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ServiceManagerContract, WinImplementation);

}  // namespace
}  // namespace gandry
