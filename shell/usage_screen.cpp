#include "shell/usage_screen.h"

namespace gandry {

void UsageScreen(Shell& shell) {
  shell.console.SetTitle(kShellTitle);
  shell.console.SetTextAttribute(kBrightWhite);
  ShellPrint(shell, "Gandry 1.0 BETA 3\n");
  shell.console.SetTextAttribute(kDarkRed);
  ShellPrint(shell, "Unrecongnized or incomplete command line.\n");
  shell.console.SetTextAttribute(kGrey);
  ShellPrint(shell,
             "  usage: Gandry.exe -debug\n    where\n      -debug\t\tstart as process with output "
             "debug info\n");
  ShellPrint(shell, "Please use Gandry Manager to manage service.");
  shell.console.SetTextAttribute(kDarkCyan);
  WaitForKey(shell);
  shell.console.SetTextAttribute(kGrey);
  ShellPrint(shell, "");
  shell.console.Detach();
  std::lock_guard lock(shell.mutex);
  shell.exit_code = kExitBadCommandLine;
}

void WaitForKey(Shell& shell) {
  shell.output.Raw("\n\rpress a key to continue...");
  for (;;) {
    const ConsoleInput input = shell.console.ReadInput();
    if (input != ConsoleInput::kOther) {
      break;
    }
  }
  shell.output.Raw("\r\n");
}

}  // namespace gandry
