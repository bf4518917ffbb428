#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "common/command_line.h"
#include "common/zt_mapfile.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/waitable_flag.h"
#include "shell/child_command.h"
#include "shell/shell_output.h"

namespace gandry {

// The line that ends the conversation; only an exact, whole-line match counts.
inline constexpr std::string_view kTalkDoneMarker = "+zt-talk-done+";

inline constexpr std::uint32_t kExitStartFailed = 2;
inline constexpr std::uint32_t kExitBreak = 6;

// The shell's state for one run. The main thread relays; the break handler runs on a thread of
// the platform's. Everything they share (the child, the exit code, the channel, whether the
// clean-up ran) is used under `mutex`. The break handler keeps the mutex until it has ended the
// process, so the main thread can neither relay nor end with another exit code after a break.
struct Shell {
  Shell(Console& console_in, Processes& processes_in, MessageChannel& channel_in, Clock& clock_in)
      : console(console_in),
        processes(processes_in),
        channel(channel_in),
        clock(clock_in),
        output(console_in) {}

  Console& console;
  Processes& processes;
  MessageChannel& channel;
  Clock& clock;
  ShellOutput output;

  // Set once by the command-line parse, before the break handler exists.
  std::atomic<RunMode> mode{kNoRunMode};
  ChildCommand command;
  // Raised first thing by the break handler: the relay stops and the handler alone ends the
  // process, with exit code 6.
  WaitableFlag stop;
  // Raised if ending the process returned to the handler (only a fake does that).
  WaitableFlag break_finished;

  std::mutex mutex;
  std::unique_ptr<Process> child;  // null while no child is held
  std::uint32_t exit_code = 0;
  bool talk_done = false;
  bool cleaned_up = false;
};

// Writes one line with a CR LF end, unless the shell runs in service mode.
void ShellPrint(Shell& shell, std::string_view text);

// Removes the break handler and gives up the child and the channel: terminates a child still
// held (with the current exit code), closes the channel and prints "Done.". The work after the
// removal runs once per process, whoever comes first.
void ShellCleanup(Shell& shell);
// The same work without the removal, for a caller that holds `shell.mutex`.
void ShellCleanupLocked(Shell& shell);

// Sends out what is held for standard output and ends the process with the exit code; after a
// break has begun it leaves the end to the break handler.
void EndShell(Shell& shell);

}  // namespace gandry
