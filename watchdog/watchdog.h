#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/zt_mapfile.h"
#include "platform/clock.h"
#include "platform/ini_store.h"
#include "platform/service_manager.h"
#include "platform/threads.h"
#include "platform/waitable_flag.h"
#include "watchdog/log.h"

namespace gandry {

// The three delays of "Gandry.ini", in milliseconds.
struct WatchdogSettings {
  int loop_delay_thread_ms = 30000;
  int loop_delay_service_ms = 20000;
  int start_delay_thread_ms = 180000;
};

// Everything one watchdog run shares between its threads. The settings and items are written
// once by LoadConfiguration before any monitor exists and only read afterwards.
struct Watchdog {
  Watchdog(RunMode mode, std::string executable_path, Clock& clock, Threads& threads,
           ServiceManager& services, IniStore& ini, MessageChannel& channel, WatchdogLog& log)
      : mode(mode),
        executable_path(std::move(executable_path)),
        clock(clock),
        threads(threads),
        services(services),
        ini(ini),
        channel(channel),
        log(log) {}

  const RunMode mode;
  const std::string executable_path;  // the running program's full path
  Clock& clock;
  Threads& threads;
  ServiceManager& services;
  IniStore& ini;
  MessageChannel& channel;
  WatchdogLog& log;

  WaitableFlag StopFlag;                // ends the supervisor's wait
  std::atomic<int> RunningMonitors{0};  // monitors created and not yet ended
  std::atomic<bool> paused{false};      // the service is paused: monitors leave services alone
  std::atomic<std::uint32_t> pause_count{0};  // pauses so far, so a monitor sees even short ones

  WatchdogSettings settings;
  std::vector<std::string> items;
};

}  // namespace gandry
