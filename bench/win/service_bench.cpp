// Measures the watchdog under the service manager: stop latency, recovery time, the time from
// a stop to the start in both watch modes, a reload against a restart, CPU while a watched
// service hangs, a hung stop with and without ending its process, and the cost of many items. Uses
// gandry.svc and test_service.exe from its own folder; registers services of its own and removes
// them again.
//
//   service_bench stop-latency SECONDS RUNS
//   service_bench recovery
//   service_bench stop-to-start polling|notify RUNS
//   service_bench reload polling|notify RUNS
//   service_bench hung-start-cpu SECONDS
//   service_bench hung-stop kill|leave
//   service_bench items COUNT
//   service_bench health-restart COUNT
//   service_bench health-cpu ITEMS SECONDS
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "benchmarks.h"

namespace gandry::bench {

const char* Architecture() {
  return sizeof(void*) == 8 ? "x64" : "x86";
}

}  // namespace gandry::bench

int main(int argc, char** argv) {
  using namespace gandry::bench;
  const char* command = argc > 1 ? argv[1] : "";
  auto number = [&](int index) { return argc > index ? std::atoi(argv[index]) : 0; };
  if (std::strcmp(command, "stop-latency") == 0 && number(2) > 0 && number(3) > 0) {
    return StopLatency(number(2), number(3));
  }
  if (std::strcmp(command, "recovery") == 0) {
    return Recovery();
  }
  // 1 for notify, 0 for polling, -1 for anything else.
  auto watch_mode = [&](int index) {
    const char* mode = argc > index ? argv[index] : "";
    return std::strcmp(mode, "notify") == 0 ? 1 : std::strcmp(mode, "polling") == 0 ? 0 : -1;
  };
  if (std::strcmp(command, "stop-to-start") == 0 && watch_mode(2) >= 0 && number(3) > 0) {
    return StopToStart(watch_mode(2) == 1, number(3));
  }
  if (std::strcmp(command, "reload") == 0 && watch_mode(2) >= 0 && number(3) > 0) {
    return Reload(watch_mode(2) == 1, number(3));
  }
  if (std::strcmp(command, "hung-start-cpu") == 0 && number(2) > 0) {
    return HungStartCpu(number(2));
  }
  if (std::strcmp(command, "health-restart") == 0 && number(2) > 0) {
    return HealthRestart(number(2));
  }
  if (std::strcmp(command, "health-cpu") == 0 && number(2) > 0 && number(3) > 0) {
    return HealthCpu(number(2), number(3));
  }
  if (std::strcmp(command, "hung-stop") == 0 && argc > 2 &&
      (std::strcmp(argv[2], "kill") == 0 || std::strcmp(argv[2], "leave") == 0)) {
    return HungStop(std::strcmp(argv[2], "kill") == 0);
  }
  if (std::strcmp(command, "items") == 0 && number(2) > 0) {
    return ManyItems(number(2));
  }
  if (std::strcmp(command, "idle-threads") == 0 && number(2) > 0 && argc > 3) {
    return IdleThreads(number(2), argv[3]);
  }
  std::fprintf(stderr,
               "usage: service_bench stop-latency SECONDS RUNS | recovery | "
               "stop-to-start polling|notify RUNS | reload polling|notify RUNS | "
               "hung-start-cpu SECONDS | hung-stop kill|leave | items COUNT | "
               "health-restart COUNT | health-cpu ITEMS SECONDS\n");
  return 2;
}
