#include "shell/shell.h"

#include "shell/error_text.h"

namespace gandry {

void ShellPrint(Shell& shell, std::string_view text) {
  if (shell.mode != kServiceMode) {
    shell.output.Line(text);
  }
}

void ShellCleanup(Shell& shell) {
  // Not under the mutex: the platform runs a break handler while holding its own lock on the
  // handler list, and that handler waits for the mutex.
  shell.console.RemoveBreakHandler();
  std::lock_guard lock(shell.mutex);
  ShellCleanupLocked(shell);
}

void ShellCleanupLocked(Shell& shell) {
  if (shell.cleaned_up) {
    return;
  }
  shell.cleaned_up = true;
  if (shell.child) {
    const Status terminated = shell.child->Terminate(shell.exit_code);
    if (terminated) {
      ShellPrint(shell, "Quillon successfully unloaded.");
    } else {
      ShellPrint(shell, "Unload Quillon failure.");
      ShellPrint(shell, ShellErrorText(shell.processes.ErrorText(terminated.error().code)));
    }
    shell.child.reset();
  }
  shell.channel.close();
  ShellPrint(shell, "Done.");
}

void EndShell(Shell& shell) {
  {
    std::lock_guard lock(shell.mutex);
    if (!shell.stop.IsRaised()) {
      shell.output.Flush();
      shell.processes.ExitCurrent(shell.exit_code);
      return;
    }
  }
  shell.clock.SleepUntil(shell.break_finished);
}

}  // namespace gandry
