#include "shell/break_handler.h"

namespace gandry {

void BreakHandler(Shell& shell, ConsoleEvent /*event*/) {
  shell.stop.Raise();
  shell.console.RemoveBreakHandler();
  {
    std::lock_guard lock(shell.mutex);
    shell.console.SetTextColor(TextColor::kDarkYellow);
    ShellPrint(shell, "\nBreak signaled!");
    shell.console.SetTextColor(TextColor::kGrey);
    ShellCleanupLocked(shell);
    shell.exit_code = kExitBreak;
    shell.output.Flush();
    shell.processes.ExitCurrent(kExitBreak);
  }
  shell.break_finished.Raise();
}

}  // namespace gandry
