#include <cstdio>
#include <vector>

#include "bench_rig.h"
#include "benchmarks.h"

namespace gandry::bench {

namespace {

constexpr int kDelay = 5;  // all three delays, seconds
constexpr DWORD kStateLimitMs = 30'000;
// Longer than the start delay, a pause and a start.
constexpr DWORD kComebackLimitMs = 3 * kDelay * 1000 + 10'000;
// Long enough for the supervisor to be in its wait.
constexpr DWORD kSettleMs = 1500;

enum class Way { kReload, kRestart };

struct Figures {
  std::vector<double> to_request;
  std::vector<double> to_running;
};

}  // namespace

int Reload(bool notify, int runs) {
  const char* mode = notify ? "notify: " : "polling:";
  RegisteredService kept(UniqueName("gandry-bench-kept"), TestServiceCommand(""));
  RegisteredService added(UniqueName("gandry-bench-added"), TestServiceCommand(""));
  WatchdogFolder folder(kFolderStem);
  if (!kept.registered() || !added.registered() || !folder.ready() || !kept.StartRunning()) {
    std::fprintf(stderr, "reload: cannot prepare the services or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  RegisteredService gandry("zt-gandry-demon", folder.CommandLine("-service"));
  if (!gandry.registered()) {
    std::fprintf(stderr, "reload: cannot register zt-gandry-demon (error %lu)\n", GetLastError());
    return 1;
  }
  const std::vector<std::string> before{kept.name() + "||3|0"};
  const std::vector<std::string> after{kept.name() + "||3|0", added.name() + "||3|0"};
  Figures figures[2];
  for (const Way way : {Way::kReload, Way::kRestart}) {
    for (int run = 0; run < runs; ++run) {
      // Each run begins with a watchdog that watches only the kept service and has settled,
      // and with the service of the item to be added stopped.
      if (!WriteSettings(folder, kDelay, notify, before) || !gandry.StartRunning()) {
        std::fprintf(stderr, "reload: zt-gandry-demon did not start\n");
        return 1;
      }
      Sleep(kSettleMs);
      if (!WriteSettings(folder, kDelay, notify, after)) {
        std::fprintf(stderr, "reload: cannot write Gandry.ini (error %lu)\n", GetLastError());
        return 1;
      }
      const double asked = NowMs();
      if (way == Way::kReload) {
        if (!gandry.Control(SERVICE_CONTROL_PARAMCHANGE)) {
          std::fprintf(stderr, "reload: zt-gandry-demon refused the reload (error %lu)\n",
                       GetLastError());
          return 1;
        }
      } else {
        // As an administrator restarts it: stop, wait until its process has ended, start.
        const DWORD process_id = gandry.ProcessId();
        if (!gandry.Stop() || !gandry.WaitForState(SERVICE_STOPPED, kStateLimitMs, kStatePollMs) ||
            !WaitProcessEnd(process_id, kStateLimitMs) || !gandry.Start()) {
          std::fprintf(stderr, "reload: zt-gandry-demon could not be restarted (error %lu)\n",
                       GetLastError());
          return 1;
        }
      }
      Comeback seen;
      if (!WatchComeback(added, kComebackLimitMs, seen)) {
        std::fprintf(stderr, "reload: the added item's service was not started within %lu ms\n",
                     kComebackLimitMs);
        return 1;
      }
      Figures& figure = figures[way == Way::kReload ? 0 : 1];
      figure.to_request.push_back(seen.start_requested - asked);
      figure.to_running.push_back(seen.running - asked);
      const DWORD process_id = gandry.ProcessId();
      if (!gandry.Stop() || !gandry.WaitForState(SERVICE_STOPPED, kStateLimitMs, kStatePollMs) ||
          !WaitProcessEnd(process_id, kStateLimitMs) || !added.Stop() ||
          !added.WaitForState(SERVICE_STOPPED, kStateLimitMs, kStatePollMs)) {
        std::fprintf(stderr, "reload: cannot stop the watchdog or the added item's service\n");
        return 1;
      }
    }
  }
  const char* labels[2] = {"PARAMCHANGE         ", "restart (stop, start)"};
  for (int i = 0; i < 2; ++i) {
    std::printf(
        "reload %s, %s %s -> start request %8.1f ms median, %8.1f ms max; -> running %8.1f "
        "ms median, %8.1f ms max (%d runs)\n",
        Architecture(), mode, labels[i], Median(figures[i].to_request),
        Largest(figures[i].to_request), Median(figures[i].to_running),
        Largest(figures[i].to_running), runs);
  }
  return 0;
}

}  // namespace gandry::bench
