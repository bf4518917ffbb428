#include <cstdio>
#include <random>
#include <vector>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr int kDelay = 5;  // all three delays, seconds
constexpr double kDelayMs = kDelay * 1000.0;
// After the start delay, by when the monitor has subscribed to the service's stops.
constexpr double kSubscribedMarginMs = 1000;
// Past the spacing window: a service that ran less than LoopDelayThread since the monitor's
// start request is started again only after a growing spacing, which is not measured here.
constexpr double kSpacingMarginMs = 500;
constexpr double kNotifyGoalMs = 100;
// Longer than a monitor's pass and a start.
constexpr DWORD kLimitMs = 2 * kDelay * 1000 + 10'000;

void SleepUntil(double moment_ms) {
  const double left = moment_ms - NowMs();
  if (left > 0) {
    Sleep(static_cast<DWORD>(left));
  }
}

}  // namespace

int StopToStart(bool notify, int runs) {
  const char* mode = notify ? "notify: " : "polling:";
  RegisteredService watched(UniqueName("gandry-bench-stopped"), TestServiceCommand(""));
  WatchdogFolder folder(kFolderStem);
  if (!watched.registered() || !folder.ready() || !watched.StartRunning() ||
      !WriteSettings(folder, kDelay, notify, {watched.name() + "||3|0"})) {
    std::fprintf(stderr,
                 "stop to start: cannot prepare the watched service or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  RingReader ring;
  const double started = NowMs();
  ChildProcess watchdog(folder.CommandLine("-debug"));
  if (!watchdog.started()) {
    std::fprintf(stderr, "stop to start: the watchdog did not start\n");
    return 1;
  }
  // Each stop falls at a random moment of its own share of the span, so that a few runs still
  // cover the span evenly. Polling: the span is a monitor's pass (two pauses), after whose end
  // a stopped service is found; the first pass ends after the start delay and one pause.
  // Notify: any moment once the subscription exists and the spacing window has passed.
  std::mt19937 random(static_cast<unsigned>(NowMs()));
  std::uniform_real_distribution<double> share(0.0, 1.0);
  const double span_ms = notify ? kDelayMs : 2 * kDelayMs;
  double reference = notify ? started + kDelayMs + kSubscribedMarginMs : started + 2 * kDelayMs;
  std::vector<double> to_request;
  std::vector<double> to_running;
  for (int run = 0; run < runs; ++run) {
    SleepUntil(reference + (run + share(random)) / runs * span_ms);
    if (watched.State() != SERVICE_RUNNING || !watched.Stop()) {
      std::fprintf(stderr, "stop to start: the watched service was not running to be stopped\n");
      return 1;
    }
    Comeback seen;
    if (!WatchComeback(watched, kLimitMs, seen)) {
      std::fprintf(stderr,
                   "stop to start: the watched service was not started again within %lu ms\n",
                   kLimitMs);
      return 1;
    }
    to_request.push_back(seen.start_requested - seen.stopped);
    to_running.push_back(seen.running - seen.stopped);
    // Polling: the monitor's next pass begins once its start has returned, on the service
    // running. Notify: the spacing window begins at the start request.
    reference = notify ? seen.start_requested + kDelayMs + kSpacingMarginMs : seen.running;
  }
  // A monitor that could not subscribe polls instead, and says so.
  if (notify && ring.HasLine("cannot be watched")) {
    std::fprintf(stderr, "stop to start: the monitor could not subscribe to the service\n");
    return 1;
  }

  std::printf(
      "stop to start %s, %s stopped -> start request %8.1f ms median, %8.1f ms max; "
      "-> running %8.1f ms median, %8.1f ms max (%d stops; ",
      Architecture(), mode, Median(to_request), Largest(to_request), Median(to_running),
      Largest(to_running), runs);
  if (notify) {
    std::printf("goal: start request under %.0f ms median)\n", kNotifyGoalMs);
  } else {
    std::printf("a stop is found within 2 x LoopDelayThread = %.0f ms)\n", 2 * kDelayMs);
  }
  return 0;
}

}  // namespace gandry::bench
