#include <cstdio>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr int kLoopDelayThread = 5;
constexpr int kStartDelayThread = 5;
constexpr int kLoopDelayService = 5;
constexpr DWORD kLimitMs = 60'000;

}  // namespace

int Recovery() {
  RegisteredService watched(UniqueName("gandry-bench-recovery"), TestServiceCommand(""));
  WatchdogFolder folder(kFolderStem);
  if (!watched.registered() || !folder.ready() ||
      !folder.WriteIni(kLoopDelayThread, kLoopDelayService, kStartDelayThread,
                       {watched.name() + "||3|0"})) {
    std::fprintf(stderr, "recovery: cannot prepare the watched service or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  RingReader ring;
  // The watched service is stopped from the start: its monitor finds it so on its first check,
  // after the start delay and one pause.
  const double started = NowMs();
  ChildProcess watchdog(folder.CommandLine("-debug"));
  if (!watchdog.started() || !watched.WaitForState(SERVICE_RUNNING, kLimitMs, kStatePollMs)) {
    std::fprintf(stderr, "recovery: the watched service was not started\n");
    return 1;
  }
  const double first = (NowMs() - started) / 1000.0;

  // Stopped right after the monitor's check: the next check comes two pauses later.
  if (!watched.Stop() || !watched.WaitForState(SERVICE_STOPPED, kLimitMs, kStatePollMs)) {
    std::fprintf(stderr, "recovery: the watched service did not stop\n");
    return 1;
  }
  const double stopped = NowMs();
  if (!watched.WaitForState(SERVICE_RUNNING, kLimitMs, kStatePollMs)) {
    std::fprintf(stderr, "recovery: the watched service was not started again\n");
    return 1;
  }
  const double second = (NowMs() - stopped) / 1000.0;
  // The monitor logs right after its start has returned.
  int logged = 0;
  for (int poll = 0; poll < 40 && logged < 2; ++poll) {
    Sleep(50);
    logged = 0;
    for (const std::string& line : ring.Lines()) {
      logged += line.find("successfully started by 3 attempt(s)") != std::string::npos ? 1 : 0;
    }
  }

  std::printf(
      "recovery %s, found stopped at the watchdog's start: running again after %6.2f s "
      "(StartDelayThread + LoopDelayThread = %d s)\n",
      Architecture(), first, kStartDelayThread + kLoopDelayThread);
  std::printf(
      "recovery %s, stopped right after a check:           running again after %6.2f s "
      "(2 x LoopDelayThread = %d s)\n",
      Architecture(), second, 2 * kLoopDelayThread);
  std::printf("recovery %s, \"successfully started\" lines in the ring: %d of 2\n", Architecture(),
              logged);
  return 0;
}

}  // namespace gandry::bench
