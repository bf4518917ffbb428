#pragma once

#include <string_view>

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/health_probe.h"
#include "platform/ini_store.h"
#include "platform/process.h"
#include "platform/service_host.h"
#include "platform/service_manager.h"
#include "platform/shared_memory.h"
#include "platform/system_info.h"
#include "platform/text_encoding.h"
#include "platform/threads.h"

namespace gandry {

inline constexpr std::uint32_t kExitUnsupportedPlatform = 7;

// What a watchdog run is made of on the platform.
struct WatchdogPlatform {
  Clock& clock;
  Threads& threads;
  ServiceManager& services;
  IniStore& ini;
  SharedMemory& memory;       // the ring
  SharedMemory& live_memory;  // the live state for the manager
  EventLog& events;
  SystemInfo& system;
  Desktop& desktop;
  ServiceHost& host;
  Processes& processes;  // only for this process's id and to end it
  HealthProbe& probe;
  Files& files;
  TextEncoding& encoding;
};

// The watchdog's whole run, from the command-line parse to the end of the process, which it
// ends with 31 after a rejected command line, 7 on a system outside the NT family, and 0
// otherwise. `own_path` is the full path of the watchdog's program file. Monitors still
// running when the run is over end with the process, so everything they use lives until then.
void RunWatchdog(WatchdogPlatform& platform, std::string_view own_path,
                 std::string_view command_line);

}  // namespace gandry
