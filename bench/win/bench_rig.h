#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/child_process.h"
#include "tools/wine_rig/registered_service.h"
#include "tools/wine_rig/ring_reader.h"
#include "tools/wine_rig/watchdog_folder.h"

namespace gandry::bench {

using rig::BinFolder;
using rig::ChildProcess;
using rig::RegisteredService;
using rig::RingReader;
using rig::TestServiceCommand;
using rig::UniqueName;
using rig::WaitProcessEnd;
using rig::WatchdogFolder;

// The stem of the benchmarks' watchdog folders: its blank is there as in "Program Files".
constexpr const char* kFolderStem = "Gandry Bench";
// Service states are polled every millisecond, so that the times measured to them are exact.
constexpr DWORD kStatePollMs = 1;

// Milliseconds on the monotonic clock, with the resolution of the performance counter.
double NowMs();

// What a process costs. Under Wine the figures that Win32 gives for another process are
// partly Wine's own reconstruction (GetProcessTimes of another process does not track its CPU
// time), so the host's view of the same process is read as well, from /proc through Wine's
// Z: drive; `host_found` tells whether that worked (never on Windows itself).
struct ProcessFigures {
  double cpu_ms = 0;                    // user and kernel time: host's when found, else Win32's
  unsigned threads = 0;                 // live threads (Toolhelp32)
  std::uint64_t private_usage = 0;      // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage
  std::uint64_t working_set = 0;        // PROCESS_MEMORY_COUNTERS_EX.WorkingSetSize
  std::uint64_t committed_private = 0;  // committed private pages, counted by VirtualQueryEx
  std::uint64_t reserved = 0;           // address space in use (reserved or committed)
  bool host_found = false;
  unsigned host_threads = 0;        // /proc/PID/status Threads
  std::uint64_t host_rss = 0;       // VmRSS
  std::uint64_t host_rss_anon = 0;  // RssAnon
};
// `command_line_marker` is a piece of the process's command line that no other process has;
// it finds the host process.
ProcessFigures MeasureProcess(HANDLE process, DWORD process_id,
                              const std::string& command_line_marker);

double Mebibytes(std::uint64_t bytes);

// The middle value (the upper of the two middle ones for an even count) and the largest; both
// need at least one value.
double Median(std::vector<double> values);
double Largest(const std::vector<double>& values);

// Writes the folder's whole "Gandry.ini": all three delays `delay_s`, WatchMode=notify when
// `notify` (nothing, so the default polling, otherwise), and `items`.
bool WriteSettings(const WatchdogFolder& folder, int delay_s, bool notify,
                   const std::vector<std::string>& items);

// The moments, on NowMs's clock, at which one poll loop saw a service stopped, then out of
// stopped again (someone asked for its start), then running.
struct Comeback {
  double stopped = 0;
  double start_requested = 0;
  double running = 0;
};
// Polls the service's state every kStatePollMs until it runs after having been stopped; false
// after `limit_ms`. The service must be stopped already or on its way there (asked to stop). When a
// start comes so soon that no poll saw the service stopped, the stop is put at the last poll
// before.
bool WatchComeback(RegisteredService& service, DWORD limit_ms, Comeback& seen);

}  // namespace gandry::bench
