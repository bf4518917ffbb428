#include <cstdio>
#include <vector>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr DWORD kStateLimitMs = 30'000;
// Long enough for the supervisor to be in its wait and the monitors in their pauses.
constexpr DWORD kSettleMs = 1500;

}  // namespace

int StopLatency(int loop_delay_service_s, int runs) {
  RegisteredService watched(UniqueName("gandry-bench-watched"), TestServiceCommand(""));
  WatchdogFolder folder(kFolderStem);
  if (!watched.registered() || !folder.ready() || !watched.StartRunning() ||
      !folder.WriteIni(loop_delay_service_s, loop_delay_service_s, loop_delay_service_s,
                       {watched.name() + "||3|0"})) {
    std::fprintf(stderr,
                 "stop latency: cannot prepare the watched service or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  RegisteredService gandry("zt-gandry-demon", folder.CommandLine("-service"));
  if (!gandry.registered()) {
    std::fprintf(stderr, "stop latency: cannot register zt-gandry-demon (error %lu)\n",
                 GetLastError());
    return 1;
  }
  std::vector<double> to_stopped;
  std::vector<double> to_exit;
  for (int run = 0; run < runs; ++run) {
    if (!gandry.StartRunning()) {
      std::fprintf(stderr, "stop latency: zt-gandry-demon did not start\n");
      return 1;
    }
    Sleep(kSettleMs);
    const DWORD process_id = gandry.ProcessId();
    const double requested = NowMs();
    if (!gandry.Stop() || !gandry.WaitForState(SERVICE_STOPPED, kStateLimitMs, kStatePollMs)) {
      std::fprintf(stderr, "stop latency: zt-gandry-demon did not stop within %lu ms\n",
                   kStateLimitMs);
      return 1;
    }
    to_stopped.push_back(NowMs() - requested);
    WaitProcessEnd(process_id, kStateLimitMs);
    to_exit.push_back(NowMs() - requested);
  }
  std::printf(
      "stop latency %s, LoopDelayService=%3d s: request -> stopped %7.1f ms median, "
      "%7.1f ms max; -> process ended %7.1f ms median (%d stops)\n",
      Architecture(), loop_delay_service_s, Median(to_stopped), Largest(to_stopped),
      Median(to_exit), runs);
  return 0;
}

}  // namespace gandry::bench
