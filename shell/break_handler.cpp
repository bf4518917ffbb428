#include "shell/break_handler.h"

namespace gandry {

void BreakHandler(Shell& shell, std::uint32_t /*event_type*/) {
  shell.stop.Raise();
  shell.console.RemoveBreakHandler();
  {
    std::lock_guard lock(shell.mutex);
    shell.console.SetTextAttribute(kDarkYellow);
    ShellPrint(shell, "\nBreak signaled!");
    shell.console.SetTextAttribute(kGrey);
    ShellCleanupLocked(shell);
    shell.exit_code = kExitBreak;
    shell.output.Flush();
    shell.processes.ExitCurrent(kExitBreak);
  }
  shell.break_finished.Raise();
}

}  // namespace gandry
