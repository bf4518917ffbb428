#include <windows.h>

#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/zt_mapfile.h"
#include "platform/win/win_clock.h"
#include "platform/win/win_desktop.h"
#include "platform/win/win_event_log.h"
#include "platform/win/win_locale.h"
#include "platform/win/win_profile_store.h"
#include "platform/win/win_service_host.h"
#include "platform/win/win_service_manager.h"
#include "platform/win/win_shared_memory.h"
#include "platform/win/win_threads.h"
#include "watchdog/date_time_format.h"
#include "watchdog/log.h"
#include "watchdog/supervisor.h"
#include "watchdog/watchdog.h"

namespace gandry {
namespace {

constexpr int kExitBadCommandLine = 31;
constexpr int kExitUnsupportedPlatform = 7;

bool IsNtPlatform() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

[[noreturn]] void Main() {
  RunMode mode = kServiceMode;
  if (parseCommandLine(SplitCommandLine(GetCommandLineA()), mode)) {
    // Nobody would see a box on an invisible window station, and it would hold a wrongly
    // registered service in its start until the service manager gives up.
    if (HasVisibleWindowStation()) {
      MessageBoxA(nullptr, kUsageText, kProductTitle, MB_ICONERROR);
    }
    ExitProcess(kExitBadCommandLine);
  }

  WinClock clock;
  WinThreads threads;
  WinServiceManager services;
  WinProfileStore profiles;
  WinSharedMemory memory;
  WinEventLog events;
  MessageChannel channel(memory);
  WatchdogLog log(mode, clock, MakeDateTimeFormat(ReadUserLocale()), channel, events);

  if (!IsNtPlatform()) {
    log.LogLine("Unsupported OS version.", false);
    ExitProcess(kExitUnsupportedPlatform);
  }

  Watchdog watchdog(mode, ExecutablePath(), clock, threads, services, profiles, channel, log);
  if (mode != kServiceMode) {
    channel.open();
    // The exit code stays 0 even after an error: the shell passes it on as its own, and its
    // callers know 0 for a run that ended.
    Run(watchdog);
  } else {
    RunServiceDispatcher(watchdog);
  }
  // Monitors still running end with the process; the objects they use stay alive until then.
  ExitProcess(0);
}

}  // namespace
}  // namespace gandry

int main() {
  gandry::Main();
}
