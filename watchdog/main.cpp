// gandry.svc: the watchdog, as the service "zt-gandry-demon" or as a plain process.
#include "platform/win/win_clock.h"
#include "platform/win/win_desktop.h"
#include "platform/win/win_event_log.h"
#include "platform/win/win_files.h"
#include "platform/win/win_health_probe.h"
#include "platform/win/win_ini_store.h"
#include "platform/win/win_process.h"
#include "platform/win/win_service_host.h"
#include "platform/win/win_service_manager.h"
#include "platform/win/win_shared_memory.h"
#include "platform/win/win_system_info.h"
#include "platform/win/win_text_encoding.h"
#include "platform/win/win_threads.h"
#include "watchdog/run_watchdog.h"

int main() {
  using namespace gandry;
  WinClock clock;
  WinThreads threads;
  WinServiceManager services(ScmAccess::kAll);
  WinIniStore ini;
  WinSharedMemory memory;
  WinSharedMemory live_memory;
  WinEventLog events;
  WinSystemInfo system;
  WinDesktop desktop;
  WinServiceHost host;
  WinProcesses processes;
  WinHealthProbe probe;
  WinFiles files;
  WinTextEncoding encoding;
  WatchdogPlatform platform{clock,  threads, services, ini,       memory, live_memory, events,
                            system, desktop, host,     processes, probe,  files,       encoding};
  RunWatchdog(platform, OwnExecutablePath(), OwnCommandLine());  // ends the process
}
