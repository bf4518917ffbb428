#include <cstdio>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr int kDelay = 5;  // all three delays, seconds
constexpr DWORD kLimitMs = 60'000;
// Past the watchdog's own start-up work, well before the monitor's first check.
constexpr DWORD kIdleFromMs = 3000;

double Percent(const ProcessFigures& from, const ProcessFigures& to, double wall_ms) {
  return (to.cpu_ms - from.cpu_ms) * 100.0 / wall_ms;
}

}  // namespace

int HungStartCpu(int seconds) {
  RegisteredService hung(UniqueName("gandry-bench-hung"), TestServiceCommand("--hang-start"));
  WatchdogFolder folder(kFolderStem);
  if (!hung.registered() || !folder.ready() ||
      !folder.WriteIni(kDelay, kDelay, kDelay, {hung.name() + "||3|0"})) {
    std::fprintf(stderr, "hung start: cannot prepare the service or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  ChildProcess watchdog(folder.CommandLine("-debug"));
  if (!watchdog.started()) {
    std::fprintf(stderr, "hung start: the watchdog did not start\n");
    return 1;
  }
  Sleep(kIdleFromMs);
  const ProcessFigures idle_from =
      MeasureProcess(watchdog.handle(), watchdog.id(), folder.Marker());
  const double idle_start = NowMs();
  // The monitor finds the service stopped after its start delay and one pause, and starts it.
  if (!hung.WaitForState(SERVICE_START_PENDING, kLimitMs, kStatePollMs)) {
    std::fprintf(stderr, "hung start: the service never went into start pending\n");
    return 1;
  }
  const double hung_start = NowMs();
  const ProcessFigures hung_from =
      MeasureProcess(watchdog.handle(), watchdog.id(), folder.Marker());
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const ProcessFigures hung_to = MeasureProcess(watchdog.handle(), watchdog.id(), folder.Marker());
  const double hung_end = NowMs();
  const bool still_pending = hung.State() == SERVICE_START_PENDING;

  const char* source = hung_to.host_found ? "host /proc, 10 ms ticks" : "GetProcessTimes";
  std::printf(
      "watchdog CPU %s, idle (monitor in its pauses) over %5.1f s: %6.3f %% of a core "
      "(%.0f ms CPU; %s)\n",
      Architecture(), (hung_start - idle_start) / 1000.0,
      Percent(idle_from, hung_from, hung_start - idle_start), hung_from.cpu_ms - idle_from.cpu_ms,
      source);
  std::printf(
      "watchdog CPU %s, watched service hung in start pending over %5.1f s: %6.3f %% of "
      "a core (%.0f ms CPU; %s)%s\n",
      Architecture(), (hung_end - hung_start) / 1000.0,
      Percent(hung_from, hung_to, hung_end - hung_start), hung_to.cpu_ms - hung_from.cpu_ms, source,
      still_pending ? "" : " [the service left start pending meanwhile]");
  return 0;
}

}  // namespace gandry::bench
