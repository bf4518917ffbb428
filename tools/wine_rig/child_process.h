#pragma once

#include <windows.h>

#include <string>

namespace gandry::rig {

// A process started with null standard handles (so that it never holds on to our output),
// ended at the end if it still runs.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& command_line);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  bool started() const { return started_; }
  HANDLE handle() const { return info_.hProcess; }
  DWORD id() const { return info_.dwProcessId; }
  bool Running() const;
  // The exit code once the process has ended within the limit; STILL_ACTIVE otherwise.
  DWORD WaitExit(DWORD limit_ms) const;

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

}  // namespace gandry::rig
