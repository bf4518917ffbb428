#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/service_manager.h"
#include "platform/win/win_error_codes.h"

// The behaviour every ServiceManager shares, as one typed suite: the fake runs it natively, the
// Win32 implementation under Wine, so that the fake keeps doing what Windows does.
//
// A test instantiates it with a type that offers:
//   ServiceManager& services();  Clock& clock();
//   std::string AddService();             // a stopped service that starts and stops as asked
//   std::string AddServiceWithoutStop();  // one that refuses the stop control
namespace gandry {

// The named service's status once it has left its pending state (or after ten seconds).
inline ServiceStatus SettledStatus(ServiceManager& services, Clock& clock,
                                   const std::string& name) {
  Result<ServiceStatus> status = QueryService(services, name);
  for (int polls = 0; polls < 200 && status &&
                      (status->state == ServiceState::kStartPending ||
                       status->state == ServiceState::kStopPending);
       ++polls) {
    clock.Sleep(std::chrono::milliseconds(50), nullptr);
    status = QueryService(services, name);
  }
  EXPECT_TRUE(status.ok()) << name;
  return status.value_or(ServiceStatus{});
}

template <class Implementation>
class ServiceManagerContract : public ::testing::Test {
 protected:
  ServiceStatus Settled(const std::string& name) {
    return SettledStatus(impl_.services(), impl_.clock(), name);
  }
  Status Send(const std::string& name, ServiceCommand command) {
    return SendCommand(impl_.services(), name, command);
  }

  Implementation impl_;
};

TYPED_TEST_SUITE_P(ServiceManagerContract);

TYPED_TEST_P(ServiceManagerContract, StartAndStopMoveTheStateAndItsFields) {
  const std::string name = this->impl_.AddService();
  ServiceStatus status = this->Settled(name);
  EXPECT_EQ(status.state, ServiceState::kStopped);
  EXPECT_EQ(status.process_id, 0u);

  ASSERT_TRUE(this->Send(name, ServiceCommand::kStart).ok());
  status = this->Settled(name);
  EXPECT_EQ(status.state, ServiceState::kRunning);
  EXPECT_NE(status.process_id, 0u);
  EXPECT_EQ(status.check_point, 0u);

  ASSERT_TRUE(this->Send(name, ServiceCommand::kStop).ok());
  status = this->Settled(name);
  EXPECT_EQ(status.state, ServiceState::kStopped);
  EXPECT_EQ(status.process_id, 0u);
  EXPECT_EQ(status.exit_code, 0u);
  EXPECT_FALSE(status.own_exit_code);
}

TYPED_TEST_P(ServiceManagerContract, FailuresComeWithTheirKinds) {
  const std::string missing = "gandry-no-such-service";
  EXPECT_EQ(QueryService(this->impl_.services(), missing).error().kind, ErrorKind::kNoSuchService);
  EXPECT_EQ(this->Send(missing, ServiceCommand::kStart).error().kind, ErrorKind::kNoSuchService);

  const std::string name = this->impl_.AddService();
  const Status stop_of_stopped = this->Send(name, ServiceCommand::kStop);
  ASSERT_FALSE(stop_of_stopped.ok());
  EXPECT_EQ(stop_of_stopped.error().kind, ErrorKind::kNotRunning);
  EXPECT_EQ(stop_of_stopped.error().code, win_error::kServiceNotActive);

  ASSERT_TRUE(this->Send(name, ServiceCommand::kStart).ok());
  ASSERT_EQ(this->Settled(name).state, ServiceState::kRunning);
  const Status second_start = this->Send(name, ServiceCommand::kStart);
  ASSERT_FALSE(second_start.ok());
  EXPECT_EQ(second_start.error().kind, ErrorKind::kAlreadyRunning);
  EXPECT_EQ(second_start.error().code, win_error::kServiceAlreadyRunning);
  ASSERT_TRUE(this->Send(name, ServiceCommand::kStop).ok());
  EXPECT_EQ(this->Settled(name).state, ServiceState::kStopped);
}

TYPED_TEST_P(ServiceManagerContract, ARefusedStopLeavesTheServiceRunning) {
  const std::string name = this->impl_.AddServiceWithoutStop();
  ASSERT_TRUE(this->Send(name, ServiceCommand::kStart).ok());
  ASSERT_EQ(this->Settled(name).state, ServiceState::kRunning);
  const Status stop = this->Send(name, ServiceCommand::kStop);
  ASSERT_FALSE(stop.ok());
  EXPECT_EQ(stop.error().kind, ErrorKind::kOther);
  EXPECT_EQ(stop.error().code, win_error::kInvalidServiceControl);
  EXPECT_EQ(this->Settled(name).state, ServiceState::kRunning);
}

TYPED_TEST_P(ServiceManagerContract, AServiceOwnsItsProcessAndNoOtherProcessIsEndedForIt) {
  ServiceManager& services = this->impl_.services();
  const std::string name = this->impl_.AddService();
  ASSERT_TRUE(this->Send(name, ServiceCommand::kStart).ok());
  const ServiceStatus status = this->Settled(name);
  ASSERT_EQ(status.state, ServiceState::kRunning);
  EXPECT_TRUE(status.own_process);
  const Result<std::vector<std::string>> in_process = services.ServicesInProcess(status.process_id);
  ASSERT_TRUE(in_process.ok());
  EXPECT_EQ(*in_process, std::vector<std::string>{name});
  const Result<std::vector<std::string>> dependents = services.ActiveDependents(name);
  ASSERT_TRUE(dependents.ok());
  EXPECT_TRUE(dependents->empty());

  const Status other = services.EndServiceProcess(name, status.process_id + 4);
  ASSERT_FALSE(other.ok());
  EXPECT_EQ(other.error().kind, ErrorKind::kNotRunning);
  EXPECT_EQ(this->Settled(name).state, ServiceState::kRunning);
  ASSERT_TRUE(this->Send(name, ServiceCommand::kStop).ok());
  EXPECT_EQ(this->Settled(name).state, ServiceState::kStopped);
}

REGISTER_TYPED_TEST_SUITE_P(ServiceManagerContract, StartAndStopMoveTheStateAndItsFields,
                            FailuresComeWithTheirKinds, ARefusedStopLeavesTheServiceRunning,
                            AServiceOwnsItsProcessAndNoOtherProcessIsEndedForIt);

}  // namespace gandry
