#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/live_item.h"
#include "platform/threads.h"
#include "platform/waitable_flag.h"
#include "watchdog/watchdog.h"

namespace gandry {

// The shortest spacing of two writes of the metrics file: a burst of changes costs one write,
// and a change is still in the file well within a second.
inline constexpr std::chrono::milliseconds kMetricsWriteSpacing{500};

// A reader that holds the file open without delete sharing (most do) makes its replacement
// fail for as long as it reads: such a write is tried again this often, for up to a second.
inline constexpr std::chrono::milliseconds kMetricsRetryPause{50};
inline constexpr int kMetricsRetries = 20;

// Where the metrics come from: the items' live state, a flag raised on every change of it,
// and the number of reloads so far. The writer is the flag's one waiter and lowers it.
struct MetricsSource {
  std::function<std::vector<LiveItem>()> snapshot;
  WaitableFlag* changed = nullptr;
  std::function<std::uint64_t()> reloads;
};

// Keeps the metrics file of settings.metrics_file up to date from a thread of its own: writes
// soon after each change and at least once per LoopDelayThread, and "gandry_up 0" as its last
// act. A file that cannot be written is logged once, until a write succeeds again, and tried
// again at the next write; it never stops the watchdog. Without a path it writes nothing.
class MetricsWriter {
 public:
  MetricsWriter(Watchdog& watchdog, MetricsSource source);
  MetricsWriter(const MetricsWriter&) = delete;
  MetricsWriter& operator=(const MetricsWriter&) = delete;
  ~MetricsWriter() { Stop(); }

  // Starts the thread once settings.metrics_file names a file: call after each load of the
  // configuration. A thread that cannot be made is logged, and the run goes on without.
  void Start();
  // Makes the last write, which says the watchdog no longer runs, and waits for the thread.
  void Stop();

 private:
  void Body();
  void Write(bool up);
  Status Replace(const std::string& path, const std::string& text);

  Watchdog& watchdog_;
  MetricsSource source_;
  std::unique_ptr<Thread> thread_;
  WaitableFlag stop_;
  WaitableFlag finished_;  // the last write is made; waited for on the clock, as every wait
  // The writer thread's own.
  std::string last_path_;
  bool failing_ = false;  // the last write to last_path_ failed, and that has been logged
};

}  // namespace gandry
