#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench_rig.h"
#include "benchmarks.h"
#include "tools/wine_rig/loopback_port.h"

namespace gandry::bench {

namespace {

constexpr int kDelay = 5;  // all three delays, seconds
constexpr int kInterval = 5;
constexpr int kFailures = 2;
constexpr DWORD kLimitMs = 90'000;

// Writes a [Health SERVICE] section: a TCP or HTTP check of `port`, no grace.
bool WriteHealthSection(const WatchdogFolder& folder, const std::string& service,
                        const char* scheme, unsigned short port) {
  const std::string section = "Health " + service;
  const std::string check = std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
  const std::string interval = std::to_string(kInterval);
  const std::string failures = std::to_string(kFailures);
  const std::pair<const char*, const char*> values[] = {{"Check", check.c_str()},
                                                        {"Interval", interval.c_str()},
                                                        {"Timeout", "1"},
                                                        {"Failures", failures.c_str()},
                                                        {"Grace", "0"}};
  for (const auto& [key, value] : values) {
    if (!WritePrivateProfileStringA(section.c_str(), key, value, folder.ini().c_str())) {
      return false;
    }
  }
  return true;
}

double Percent(const ProcessFigures& from, const ProcessFigures& to, double wall_ms) {
  return (to.cpu_ms - from.cpu_ms) * 100.0 / wall_ms;
}

}  // namespace

int HealthRestart(int count) {
  // Each service closes its port a different time after it runs, so that the moments it
  // stops answering fall at different points of the watchdog's check interval.
  std::vector<std::unique_ptr<RegisteredService>> services;
  std::vector<std::string> items;
  std::vector<unsigned short> ports;
  std::vector<DWORD> refuse_after_ms;
  for (int i = 0; i < count; ++i) {
    ports.push_back(rig::FreeLoopbackPort());
    refuse_after_ms.push_back(
        static_cast<DWORD>(kDelay * 1000 + 500 + i * kInterval * 1000 / count));
    services.push_back(std::make_unique<RegisteredService>(
        UniqueName("gandry-bench-health"),
        TestServiceCommand("--listen " + std::to_string(ports.back()) + " --refuse-after-ms " +
                           std::to_string(refuse_after_ms.back()))));
    items.push_back(services.back()->name() + "||3|0");
  }
  WatchdogFolder folder(kFolderStem);
  bool ready = folder.ready() && folder.WriteIni(kDelay, kDelay, kDelay, items);
  for (int i = 0; ready && i < count; ++i) {
    ready = services[i]->registered() &&
            WriteHealthSection(folder, services[i]->name(), "tcp", ports[i]);
  }
  if (!ready) {
    std::fprintf(stderr, "health restart: cannot prepare the services or the folder (error %lu)\n",
                 GetLastError());
    return 1;
  }
  std::vector<double> refused_at;
  for (int i = 0; i < count; ++i) {
    if (!services[i]->StartRunning()) {
      std::fprintf(stderr, "health restart: a service did not start\n");
      return 1;
    }
    refused_at.push_back(NowMs() + refuse_after_ms[i]);
  }
  ChildProcess watchdog(folder.CommandLine("-debug"));
  if (!watchdog.started()) {
    std::fprintf(stderr, "health restart: the watchdog did not start\n");
    return 1;
  }
  // The restart request is the stop: the first poll that finds the service out of running.
  std::vector<double> latencies(count, -1);
  int left = count;
  const double begin = NowMs();
  while (left > 0 && NowMs() - begin < kLimitMs) {
    for (int i = 0; i < count; ++i) {
      if (latencies[i] < 0 && NowMs() > refused_at[i] && services[i]->State() != SERVICE_RUNNING) {
        latencies[i] = (NowMs() - refused_at[i]) / 1000.0;
        --left;
      }
    }
    Sleep(kStatePollMs);
  }
  if (left > 0) {
    std::fprintf(stderr, "health restart: %d service(s) were not restarted\n", left);
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    std::printf(
        "health restart %s, port closed %5.2f s after the start: restart requested %5.2f s "
        "later\n",
        Architecture(), refuse_after_ms[i] / 1000.0, latencies[i]);
  }
  std::printf(
      "health restart %s, stops answering -> restart request over %d services: median %5.2f s, "
      "largest %5.2f s (Interval x Failures = %d x %d = %d s)\n",
      Architecture(), count, Median(latencies), Largest(latencies), kInterval, kFailures,
      kInterval * kFailures);
  return 0;
}

int HealthCpu(int items, int seconds) {
  const unsigned short port = rig::FreeLoopbackPort();
  RegisteredService target(UniqueName("gandry-bench-target"),
                           TestServiceCommand("--listen " + std::to_string(port)));
  if (!target.registered() || !target.StartRunning()) {
    std::fprintf(stderr, "health CPU: the target service did not start (error %lu)\n",
                 GetLastError());
    return 1;
  }
  // The same service under `items` items: as many monitors, each looking at its state every
  // LoopDelayThread, and with a section checking it every interval as well.
  std::vector<std::string> lines;
  for (int i = 0; i < items; ++i) {
    lines.push_back(target.name() + "|monitor " + std::to_string(i + 1) + "|3|0");
  }
  for (const char* scheme : {"", "tcp", "http"}) {
    WatchdogFolder folder(kFolderStem);
    if (!folder.ready() || !folder.WriteIni(kDelay, kDelay, kDelay, lines) ||
        (*scheme != '\0' && !WriteHealthSection(folder, target.name(), scheme, port))) {
      std::fprintf(stderr, "health CPU: cannot prepare the folder (error %lu)\n", GetLastError());
      return 1;
    }
    ChildProcess watchdog(folder.CommandLine("-debug"));
    if (!watchdog.started()) {
      std::fprintf(stderr, "health CPU: the watchdog did not start\n");
      return 1;
    }
    // Past the start delay and the monitors' start-up.
    Sleep((kDelay + 2) * 1000);
    const ProcessFigures from = MeasureProcess(watchdog.handle(), watchdog.id(), folder.Marker());
    const double start = NowMs();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const ProcessFigures to = MeasureProcess(watchdog.handle(), watchdog.id(), folder.Marker());
    const double wall = NowMs() - start;
    std::printf(
        "health CPU %s, %d items %s over %5.1f s: %6.3f %% of a core (%.0f ms CPU; %s)\n",
        Architecture(), items,
        *scheme == '\0'
            ? "without checks     "
            : (std::string(scheme) + " check every " + std::to_string(kInterval) + " s").c_str(),
        wall / 1000.0, Percent(from, to, wall), to.cpu_ms - from.cpu_ms,
        to.host_found ? "host /proc, 10 ms ticks" : "GetProcessTimes");
  }
  return 0;
}

}  // namespace gandry::bench
