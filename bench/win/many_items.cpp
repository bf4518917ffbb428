#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr int kDelay = 5;  // all three delays, seconds
constexpr DWORD kLimitMs = 60'000;
// Past every monitor's first check (start delay plus one pause).
constexpr double kMeasureAtMs = (2 * kDelay + 2) * 1000.0;

// The highest n of the "start thread #n of [...]" lines seen: how many monitors were created.
int MonitorsCreated(RingReader& ring) {
  int highest = 0;
  for (const std::string& line : ring.Lines()) {
    const std::size_t at = line.find("start thread #");
    if (at != std::string::npos) {
      highest = std::max(highest, std::atoi(line.c_str() + at + 14));
    }
  }
  return highest;
}

void PrintFigures(const char* who, int items, const ProcessFigures& figures) {
  std::printf(
      "%d items %s, %s: %u threads; PrivateUsage %.1f MiB; working set %.1f MiB "
      "(GetProcessMemoryInfo)\n",
      items, Architecture(), who, figures.threads, Mebibytes(figures.private_usage),
      Mebibytes(figures.working_set));
  std::printf(
      "%d items %s, %s: committed private %.1f MiB; address space in use %.1f MiB "
      "(VirtualQueryEx)\n",
      items, Architecture(), who, Mebibytes(figures.committed_private),
      Mebibytes(figures.reserved));
  if (figures.host_found) {
    std::printf(
        "%d items %s, %s: host process: %u threads; resident %.1f MiB, anonymous %.1f MiB "
        "(/proc)\n",
        items, Architecture(), who, figures.host_threads, Mebibytes(figures.host_rss),
        Mebibytes(figures.host_rss_anon));
  }
}

// The same number of idle threads with the monitors' stack reservation in a process of
// their own: what the threads alone cost on this platform.
bool MeasureIdleThreads(int count, ProcessFigures& figures) {
  const std::string marker = UniqueName("gandry-bench-idle");
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, marker.c_str());
  ChildProcess idle("\"" + BinFolder() + "service_bench.exe\" idle-threads " +
                    std::to_string(count) + " " + marker);
  // Ready, or ended early because it could not create its threads.
  const HANDLE either[] = {ready, idle.handle()};
  const bool measured =
      idle.started() && WaitForMultipleObjects(2, either, FALSE, kLimitMs) == WAIT_OBJECT_0;
  if (measured) {
    figures = MeasureProcess(idle.handle(), idle.id(), marker);
  }
  CloseHandle(ready);
  return measured;
}

}  // namespace

int ManyItems(int items) {
  // Every item watches the same running service, so each monitor's checks query a real one.
  RegisteredService watched(UniqueName("gandry-bench-many"), TestServiceCommand(""));
  WatchdogFolder folder(kFolderStem);
  if (!watched.registered() || !folder.ready() || !watched.StartRunning() ||
      !folder.WriteIni(kDelay, kDelay, kDelay,
                       std::vector<std::string>(items, watched.name() + "||3|0"))) {
    std::fprintf(stderr,
                 "many items: cannot prepare the watched service or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  RingReader ring;
  const double started = NowMs();
  ChildProcess watchdog(folder.CommandLine("-debug"));
  if (!watchdog.started()) {
    std::fprintf(stderr, "many items: the watchdog did not start\n");
    return 1;
  }
  const std::string summary = "Taked " + std::to_string(items) + " item(s)";
  const std::string terminated = "Self service was terminated.";
  const double deadline = started + kLimitMs;
  int created = 0;
  bool all_started = false;
  bool failed = false;
  while (NowMs() < deadline && !all_started && !failed) {
    created = std::max(created, MonitorsCreated(ring));
    all_started = ring.HasLine(summary);
    failed = ring.HasLine(terminated) || !watchdog.Running();
    Sleep(20);
  }
  created = std::max(created, MonitorsCreated(ring));
  if (!all_started) {
    std::printf(
        "%d items %s: NOT all monitors started; the watchdog created %d monitor threads "
        "and then %s\n",
        items, Architecture(), created,
        failed ? "logged \"Self service was terminated.\"" : "did not finish in time");
    return 0;
  }
  const double wait = kMeasureAtMs - (NowMs() - started);
  if (wait > 0) {
    Sleep(static_cast<DWORD>(wait));
  }
  const ProcessFigures figures = MeasureProcess(watchdog.handle(), watchdog.id(), folder.Marker());
  std::printf("%d items %s: all %d monitors started; measured %.0f s after the watchdog's start\n",
              items, Architecture(), items, (NowMs() - started) / 1000.0);
  PrintFigures("watchdog", items, figures);
  ProcessFigures idle;
  if (MeasureIdleThreads(items, idle)) {
    PrintFigures("idle threads only", items, idle);
  } else {
    std::printf("%d items %s: the comparison process could not hold %d idle threads\n", items,
                Architecture(), items);
  }
  return 0;
}

}  // namespace gandry::bench
