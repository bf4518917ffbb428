// gandry.exe: the console shell that runs the watchdog beside it and shows its log lines.
#include "common/zt_mapfile.h"
#include "platform/win/win_clock.h"
#include "platform/win/win_console.h"
#include "platform/win/win_process.h"
#include "platform/win/win_shared_memory.h"
#include "shell/run_shell.h"

int main() {
  using namespace gandry;
  // Static, since the break handler may still use them while the process ends.
  static WinConsole console;
  static WinProcesses processes;
  static WinSharedMemory memory;
  static MessageChannel channel(memory);
  static WinClock clock;
  static Shell shell(console, processes, channel, clock);
  RunShell(shell, OwnExecutablePath(), OwnCommandLine());  // ends the process
}
