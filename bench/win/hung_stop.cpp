#include <cstdio>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr int kDelay = 5;  // all three delays, seconds
constexpr DWORD kLimitMs = 60'000;

}  // namespace

int HungStop(bool kill) {
  const char* choice = kill ? "kill" : "leave";
  RegisteredService hung(UniqueName("gandry-bench-hangstop"), TestServiceCommand("--hang-stop"));
  WatchdogFolder folder(kFolderStem);
  if (!hung.registered() || !hung.StartRunning() || !folder.ready() ||
      !folder.WriteIni(kDelay, kDelay, kDelay, {hung.name() + "||0|-1"}) ||
      !WritePrivateProfileStringA("Settings", "HungServices", choice, folder.ini().c_str())) {
    std::fprintf(stderr, "hung stop: cannot prepare the service or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  const DWORD hung_pid = hung.ProcessId();
  ChildProcess watchdog(folder.CommandLine("-debug"));
  if (!watchdog.started()) {
    std::fprintf(stderr, "hung stop: the watchdog did not start\n");
    return 1;
  }
  // The first restart comes after the start delay; its stop never ends.
  if (!hung.WaitForState(SERVICE_STOP_PENDING, kLimitMs, kStatePollMs)) {
    std::fprintf(stderr, "hung stop: the service never went into stop pending\n");
    return 1;
  }
  const double hung_at = NowMs();
  bool back = false;
  while (!back && NowMs() - hung_at < kLimitMs) {
    back = hung.State() == SERVICE_RUNNING && hung.ProcessId() != hung_pid;
    Sleep(kStatePollMs);
  }
  const double seconds = (NowMs() - hung_at) / 1000.0;
  if (back) {
    std::printf(
        "hung stop %s, HungServices=%s: running again in a new process %5.1f s after "
        "its stop began\n",
        Architecture(), choice, seconds);
  } else {
    std::printf(
        "hung stop %s, HungServices=%s: still not running %5.1f s after its stop began "
        "(the restart's wait gives up after 30 s without progress)\n",
        Architecture(), choice, seconds);
  }
  return 0;
}

}  // namespace gandry::bench
