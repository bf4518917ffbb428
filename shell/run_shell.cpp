#include "shell/run_shell.h"

#include <optional>
#include <string>
#include <vector>

#include "shell/break_handler.h"
#include "shell/error_text.h"
#include "shell/relay_loop.h"
#include "shell/usage_screen.h"

namespace gandry {

namespace {

void PrintBanner(Shell& shell) {
  shell.console.SetTitle(kProductTitle);
  ShellPrint(shell, std::string(kProductTitle) + "\r\n");
  ShellPrint(shell, "Please use Gandry Manager to manage as a service.");
  ShellPrint(shell, "Press CTRL+C key combinations to break.");
  if (shell.mode == kDebugMode) {
    ShellPrint(shell, "Attempting to load [" + shell.command.command_line + "]...");
  } else {
    ShellPrint(shell, "Attempting to load ...");
  }
}

// Starts the child under the lock, so that a break either comes first (and nothing is
// started) or finds the child held and terminates it.
bool StartChild(Shell& shell) {
  std::lock_guard lock(shell.mutex);
  if (shell.cleaned_up || shell.stop.IsRaised()) {
    return false;
  }
  Result<std::unique_ptr<Process>> started =
      shell.processes.Start(shell.command.application, shell.command.command_line);
  if (started) {
    shell.child = std::move(*started);
    ShellPrint(shell, "Successfully loaded.");
    return true;
  }
  shell.exit_code = kExitStartFailed;
  ShellPrint(shell, "Load Quillon failure.");
  ShellPrint(shell, ShellErrorText(shell.processes.ErrorText(started.error().code)));
  return false;
}

}  // namespace

void RunShell(Shell& shell, std::string_view own_path, std::string_view command_line) {
  const std::vector<std::string> args = SplitCommandLine(command_line);
  const std::optional<RunMode> mode = parseCommandLine(args);
  if (!mode) {
    UsageScreen(shell);
    EndShell(shell);
    return;
  }
  shell.mode = *mode;
  {
    std::lock_guard lock(shell.mutex);
    shell.exit_code = 0;
    shell.talk_done = false;
  }
  shell.console.InstallBreakHandler([&shell](ConsoleEvent event) { BreakHandler(shell, event); });
  {
    std::lock_guard lock(shell.mutex);
    shell.channel.open();
  }
  shell.command = BuildShellCommandLine(own_path, args);
  if (*mode != kServiceMode) {
    PrintBanner(shell);
  }
  if (StartChild(shell)) {
    RelayLoop(shell);
    AfterRelay(shell);
  }
  ShellCleanup(shell);
  EndShell(shell);
}

}  // namespace gandry
