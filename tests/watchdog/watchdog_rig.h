#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/zt_mapfile.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_event_log.h"
#include "fakes/fake_files.h"
#include "fakes/fake_health_probe.h"
#include "fakes/fake_ini_store.h"
#include "fakes/fake_service_manager.h"
#include "fakes/fake_shared_memory.h"
#include "fakes/fake_text_encoding.h"
#include "fakes/fake_threads.h"
#include "support/channel_lines.h"
#include "watchdog/log.h"
#include "watchdog/watchdog.h"

namespace gandry::testing {

inline constexpr char kExecutable[] = "C:\\gandry\\gandry.svc";
inline constexpr char kIni[] = "C:\\gandry\\Gandry.ini";

inline constexpr std::chrono::milliseconds kLoopDelayThread{5000};
inline constexpr std::chrono::milliseconds kStartDelayThread{7000};
inline constexpr std::chrono::milliseconds kLoopDelayService{11000};

// Simulated time that no test here comes near: waits bounded by it only end by their event.
inline constexpr std::chrono::hours kEndLimit{24 * 365};

// One watchdog on fakes. The test thread takes part in the fake clock's time, so time moves
// only while it waits on the clock (RunUntil, WaitEnded) and every monitor sleeps.
struct WatchdogRig {
  explicit WatchdogRig(RunMode mode = kDebugMode)
      : log(mode, clock, MakeDateTimeFormat({}), channel, events),
        watchdog(mode, kExecutable, clock, threads, services, ini, probe, files, encoding, channel,
                 log) {
    channel.open();
    watchdog.settings.loop_delay_thread_ms = static_cast<int>(kLoopDelayThread.count());
    watchdog.settings.start_delay_thread_ms = static_cast<int>(kStartDelayThread.count());
    watchdog.settings.loop_delay_service_ms = static_cast<int>(kLoopDelayService.count());
  }

  // Writes the delays above and the items into the INI file beside the executable.
  void WriteIni(const std::vector<std::string>& items) {
    ini.AddLine(kIni, "Settings", "LoopDelayThread", "5");
    ini.AddLine(kIni, "Settings", "StartDelayThread", "7");
    ini.AddLine(kIni, "Settings", "LoopDelayService", "11");
    for (std::size_t i = 0; i < items.size(); ++i) {
      ini.AddLine(kIni, "Services", "Item" + std::to_string(i + 1), items[i]);
    }
  }

  // Moves the channel's unread lines into the collection (the ring holds 500). Safe from any
  // thread.
  void Collect() {
    std::lock_guard lock(lines_mutex_);
    for (std::string& line : DrainChannel(channel)) {
      lines_.push_back(std::move(line));
    }
  }

  // Every line so far, logged lines without their timestamps; reopens the channel when the
  // run has closed it.
  std::vector<std::string> Lines() {
    channel.open();
    Collect();
    std::lock_guard lock(lines_mutex_);
    std::vector<std::string> messages;
    for (const std::string& line : lines_) {
      const bool stamped = !line.empty() && line[0] >= '0' && line[0] <= '9';
      const std::size_t cut = line.find(": ");
      messages.push_back(stamped && cut != std::string::npos ? line.substr(cut + 2) : line);
    }
    return messages;
  }

  FakeClock clock;
  FakeThreads threads{clock};
  // Declared after the threads: it leaves before their end is waited for.
  FakeClock::Participant test_thread{clock};
  FakeServiceManager services;
  FakeIniStore ini;
  FakeHealthProbe probe{&clock};
  FakeFiles files;
  FakeTextEncoding encoding;
  // Outlives its mappings, so lines can still be read after the run closed the channel.
  FakeSharedMemory section;
  MessageChannel channel{section};
  FakeEventLog events;
  WatchdogLog log;
  Watchdog watchdog;

 private:
  std::mutex lines_mutex_;
  std::vector<std::string> lines_;
};

}  // namespace gandry::testing
