#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/child_process.h"
#include "tools/wine_rig/loopback_port.h"
#include "tools/wine_rig/registered_service.h"
#include "tools/wine_rig/ring_reader.h"
#include "tools/wine_rig/watchdog_folder.h"

namespace gandry {
namespace {

using rig::ChildProcess;
using rig::RegisteredService;
using rig::RingReader;
using rig::TestServiceCommand;
using rig::UniqueName;
using rig::WatchdogFolder;

constexpr DWORD kWaitLimitMs = 60'000;

// The index of the first line that ends with `tail`, or the count of lines.
std::size_t Find(const std::vector<std::string>& lines, const std::string& tail) {
  return static_cast<std::size_t>(std::find_if(lines.begin(), lines.end(),
                                               [&](const std::string& line) {
                                                 return line.size() >= tail.size() &&
                                                        line.compare(line.size() - tail.size(),
                                                                     tail.size(), tail) == 0;
                                               }) -
                                  lines.begin());
}

// The service closes its port 4 s after each start while it goes on running. The watchdog
// checks it every 5 s from its first look on and restarts it at the second refused
// connection in a row; the new process listens again.
TEST(WatchdogHealthEndToEnd, RestartsAServiceWhosePortStopsAnswering) {
  const unsigned short port = rig::FreeLoopbackPort();
  RegisteredService service(
      UniqueName("gandry-e2e-health"),
      TestServiceCommand("--listen " + std::to_string(port) + " --refuse-after-ms 4000"));
  ASSERT_TRUE(service.registered() && service.StartRunning());
  const DWORD first_pid = service.ProcessId();

  WatchdogFolder folder("gandry-e2e");
  ASSERT_TRUE(folder.ready());
  ASSERT_TRUE(folder.WriteIni(5, 5, 5, {service.name() + "||3|0"}));
  const std::string section = "Health " + service.name();
  const std::string check = "tcp://127.0.0.1:" + std::to_string(port);
  for (const auto& [key, value] :
       {std::pair{"Check", check.c_str()}, std::pair{"Interval", "5"}, std::pair{"Timeout", "1"},
        std::pair{"Failures", "2"}, std::pair{"Grace", "0"}}) {
    ASSERT_TRUE(WritePrivateProfileStringA(section.c_str(), key, value, folder.ini().c_str()));
  }

  RingReader ring;
  ChildProcess watchdog(folder.CommandLine("-debug"));
  ASSERT_TRUE(watchdog.started());
  const std::string name = "[" + service.name() + "]";
  const std::string restarted =
      ": Service " + name + " successfully restarted after failed health checks.";
  ASSERT_TRUE(ring.WaitForLine(restarted, kWaitLimitMs)) << ::testing::PrintToString(ring.Lines());

  const auto& lines = ring.Lines();
  const std::size_t first =
      Find(lines, ": Health check of " + name + " failed (1 of 2): connection refused.");
  const std::size_t second =
      Find(lines, ": Health check of " + name + " failed (2 of 2): connection refused.");
  const std::size_t restarting =
      Find(lines, ": Service " + name + " failed 2 health checks in a row; restarting it.");
  EXPECT_LT(first, second);
  EXPECT_EQ(restarting, second + 1);
  EXPECT_EQ(Find(lines, restarted), restarting + 1) << ::testing::PrintToString(lines);
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_NE(service.ProcessId(), first_pid);
}

}  // namespace
}  // namespace gandry
