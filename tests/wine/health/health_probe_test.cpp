#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "platform/win/win_health_probe.h"
#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/registered_service.h"

namespace gandry {
namespace {

using std::chrono::seconds;

// A loopback port that nothing listens on just now.
unsigned short FreePort() {
  WSADATA data{};
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int size = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  closesocket(probe);
  return ntohs(address.sin_port);
}

HealthTarget Network(HealthCheckKind kind, unsigned short port, std::string path = "/") {
  HealthTarget target;
  target.kind = kind;
  target.host = "127.0.0.1";
  target.port = port;
  target.path = std::move(path);
  return target;
}

HealthTarget Exec(const std::string& arguments) {
  HealthTarget target;
  target.kind = HealthCheckKind::kExec;
  target.program = rig::BinFolder() + "health_exec_child.exe";
  target.command_line = "\"" + target.program + "\" " + arguments;
  return target;
}

class HealthProbeTest : public ::testing::Test {
 protected:
  // Our test service listening on a port of its own with `options`.
  rig::RegisteredService ListeningService(unsigned short port, const std::string& options = "") {
    return rig::RegisteredService(
        rig::UniqueName("gandry-health"),
        rig::TestServiceCommand("--listen " + std::to_string(port) + options));
  }

  WinHealthProbe probe_;
  WaitableFlag stop_;
};

TEST_F(HealthProbeTest, TcpAndHttpPassWhileTheServiceListensAndTcpIsRefusedOnceItStops) {
  const unsigned short port = FreePort();
  rig::RegisteredService service = ListeningService(port);
  ASSERT_TRUE(service.registered());
  ASSERT_TRUE(service.StartRunning());
  const DWORD process_id = service.ProcessId();

  // A passing check ends with the answer; the long limit only covers a busy machine, where
  // WinHTTP's first request in a process has taken over five seconds.
  EXPECT_TRUE(probe_.Run(Network(HealthCheckKind::kTcp, port), seconds(30), stop_).healthy());
  EXPECT_TRUE(probe_.Run(Network(HealthCheckKind::kHttp, port, "/healthz?x=1"), seconds(30), stop_)
                  .healthy());

  ASSERT_TRUE(service.Stop());
  ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED, 30000));
  ASSERT_TRUE(rig::WaitProcessEnd(process_id, 30000));
  EXPECT_EQ(probe_.Run(Network(HealthCheckKind::kTcp, port), seconds(5), stop_),
            (ProbeOutcome{ProbeFailure::kRefused, WSAECONNREFUSED}));
  EXPECT_FALSE(probe_.Run(Network(HealthCheckKind::kHttp, port), seconds(5), stop_).healthy());
}

TEST_F(HealthProbeTest, HttpTimesOutOnAnUnansweredRequestAndGivesWayToTheStop) {
  const unsigned short port = FreePort();
  rig::RegisteredService service = ListeningService(port, " --mute");
  ASSERT_TRUE(service.registered());
  ASSERT_TRUE(service.StartRunning());
  const HealthTarget target = Network(HealthCheckKind::kHttp, port);

  EXPECT_EQ(probe_.Run(target, seconds(1), stop_), (ProbeOutcome{ProbeFailure::kTimedOut, 1}));

  // Without the stop this check would time out after a minute and say so.
  std::thread stopper([this] {
    Sleep(300);
    stop_.Raise();
  });
  const ProbeOutcome stopped = probe_.Run(target, seconds(60), stop_);
  stopper.join();
  EXPECT_EQ(stopped.failure, ProbeFailure::kCancelled);
}

TEST_F(HealthProbeTest, ExecGivesTheExitCodeAndEndsTheWholeJobAtTheTimeOut) {
  EXPECT_TRUE(probe_.Run(Exec("exit 0"), seconds(10), stop_).healthy());
  EXPECT_EQ(probe_.Run(Exec("exit 3"), seconds(10), stop_),
            (ProbeOutcome{ProbeFailure::kExitCode, 3}));

  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string pid_file = std::string(folder) + rig::UniqueName("gandry-health") + ".pid";
  EXPECT_EQ(probe_.Run(Exec("spawn \"" + pid_file + "\""), seconds(3), stop_),
            (ProbeOutcome{ProbeFailure::kTimedOut, 3}));
  DWORD grandchild = 0;
  std::ifstream(pid_file) >> grandchild;
  std::remove(pid_file.c_str());
  ASSERT_NE(grandchild, 0U) << "the child did not start its own child in time";
  EXPECT_TRUE(rig::WaitProcessEnd(grandchild, 10000));

  HealthTarget missing = Exec("exit 0");
  missing.program = rig::BinFolder() + "no_such_program.exe";
  EXPECT_EQ(probe_.Run(missing, seconds(10), stop_).failure, ProbeFailure::kProgramNotFound);
}

}  // namespace
}  // namespace gandry
