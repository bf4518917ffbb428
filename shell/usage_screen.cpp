#include "shell/usage_screen.h"

#include <string>

namespace gandry {

void UsageScreen(Shell& shell) {
  shell.console.SetTitle(kProductTitle);
  shell.console.SetTextColor(TextColor::kBrightWhite);
  ShellPrint(shell, std::string(kProductTitle) + "\n");
  shell.console.SetTextColor(TextColor::kDarkRed);
  ShellPrint(shell, "Unrecongnized or incomplete command line.\n");
  shell.console.SetTextColor(TextColor::kGrey);
  ShellPrint(shell, kUsageText);
  ShellPrint(shell, "Please use Gandry Manager to manage service.");
  shell.console.SetTextColor(TextColor::kDarkCyan);
  WaitForKey(shell);
  shell.console.SetTextColor(TextColor::kGrey);
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
