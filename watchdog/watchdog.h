#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/health_check.h"
#include "common/zt_mapfile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/health_probe.h"
#include "platform/ini_store.h"
#include "platform/service_manager.h"
#include "platform/text_encoding.h"
#include "platform/threads.h"
#include "platform/waitable_flag.h"
#include "watchdog/live_board.h"
#include "watchdog/log.h"

namespace gandry {

// A text that one thread sets while others read it.
class SharedText {
 public:
  std::string Get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  void Set(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// The settings of "Gandry.ini": the three delays in milliseconds, whether monitors are told of
// stops rather than only looking, whether a hung service's own process is ended, and the
// metrics file's full path (empty for none). A reload
// changes them while monitors and the metrics writer read them.
struct WatchdogSettings {
  std::atomic<int> loop_delay_thread_ms{30000};
  std::atomic<int> loop_delay_service_ms{20000};
  std::atomic<int> start_delay_thread_ms{180000};
  std::atomic<bool> notify{false};
  SharedText metrics_file;
  std::atomic<bool> kill_hung{false};
};

// Everything one watchdog run shares between its threads. The items are the supervisor's own:
// written by LoadConfiguration at the start and on each reload, on the supervisor's thread.
struct Watchdog {
  Watchdog(RunMode mode, std::string executable_path, Clock& clock, Threads& threads,
           ServiceManager& services, IniStore& ini, HealthProbe& probe, Files& files,
           TextEncoding& encoding, MessageChannel& channel, WatchdogLog& log)
      : mode(mode),
        executable_path(std::move(executable_path)),
        clock(clock),
        threads(threads),
        services(services),
        ini(ini),
        probe(probe),
        files(files),
        encoding(encoding),
        channel(channel),
        log(log) {
    StopFlag.AddObserver(&stop_relay_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog() { StopFlag.RemoveObserver(&stop_relay_); }

  const RunMode mode;
  const std::string executable_path;  // the running program's full path
  Clock& clock;
  Threads& threads;
  ServiceManager& services;
  IniStore& ini;
  HealthProbe& probe;
  Files& files;            // the metrics file
  TextEncoding& encoding;  // service names into the metrics file
  MessageChannel& channel;
  WatchdogLog& log;

  WaitableFlag StopFlag;        // ends the supervisor's wait
  WaitableFlag SupervisorWake;  // raised with StopFlag, and for a reload request
  std::atomic<bool> reload_requested{false};
  std::atomic<int> RunningMonitors{0};       // monitors created and not yet ended
  std::atomic<bool> monitors_failed{false};  // the last monitor ended through an error
  std::atomic<int> last_thread_number{0};
  std::atomic<bool> paused{false};  // the service is paused: monitors leave services alone
  std::atomic<std::uint32_t> pause_count{0};  // pauses so far, so a monitor sees even short ones
  std::atomic<bool> shutting_down{false};     // the system goes down: nothing is started any more

  WatchdogSettings settings;
  std::vector<std::string> items;
  // Per item, in the same order: the health check of its service, if it has one.
  std::vector<std::optional<HealthCheck>> health_checks;
  LiveBoard live;  // what the monitors are doing, for the status and the metrics

 private:
  // Passes StopFlag on to SupervisorWake, so that the supervisor waits for a stop and a reload
  // request at once. It lives as long as the flags: a raise may reach it at any time.
  class StopRelay final : public WaitableFlag::Observer {
   public:
    explicit StopRelay(WaitableFlag& target) : target_(target) {}
    void FlagRaised() override { target_.Raise(); }

   private:
    WaitableFlag& target_;
  };
  StopRelay stop_relay_{SupervisorWake};
};

}  // namespace gandry
