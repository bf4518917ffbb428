#include "shell/relay_loop.h"

#include <string>

namespace gandry {

namespace {

void DrainChannel(Shell& shell) {
  std::string line;
  for (;;) {
    std::lock_guard lock(shell.mutex);
    if (shell.cleaned_up || !shell.channel.take(line)) {
      return;
    }
    if (line == kTalkDoneMarker) {
      // Lines behind the marker stay in the channel.
      shell.talk_done = true;
      return;
    }
    ShellPrint(shell, line);
  }
}

// Runs in every pass, also right after the marker, so a child that has ended is reported.
void CheckChild(Shell& shell) {
  std::lock_guard lock(shell.mutex);
  if (shell.stop.IsRaised() || !shell.child) {
    return;
  }
  const Result<std::uint32_t> code = shell.child->ExitCode();
  if (!code || *code == kStillActive) {
    return;
  }
  ShellPrint(shell, "Quillon was hand-up.");
  shell.child.reset();
  shell.exit_code = *code;
  shell.talk_done = true;
}

bool TalkDone(Shell& shell) {
  std::lock_guard lock(shell.mutex);
  return shell.talk_done;
}

}  // namespace

void RelayLoop(Shell& shell) {
  std::int32_t budget = kWaitBudgetMs;
  for (;;) {
    DrainChannel(shell);
    CheckChild(shell);
    shell.output.Flush();
    if (TalkDone(shell) || shell.clock.Sleep(kRelayPause, &shell.stop)) {
      return;
    }
    if (shell.mode == kServiceMode) {
      budget -= static_cast<std::int32_t>(kRelayPause.count());
    }
    if (budget < 0) {
      return;
    }
  }
}

void AfterRelay(Shell& shell) {
  std::lock_guard lock(shell.mutex);
  // Once a break has begun (its stop request comes before it takes the mutex), the outcome is
  // the break handler's.
  if (shell.cleaned_up || shell.stop.IsRaised() || shell.mode == kDebugMode) {
    return;
  }
  if (shell.talk_done) {
    shell.child.reset();
  } else if (shell.mode == kServiceMode) {
    shell.exit_code = kExitStartFailed;
    ShellPrint(shell, "Load Quillon failure.");
    ShellPrint(shell, "Timeout.");
  }
}

}  // namespace gandry
