#pragma once

#include <windows.h>

#include <string>

namespace gandry {

// Where the shell's standard output goes in a run.
enum class StdoutKind { kFile, kNone, kClosedPipe };

// What a run of gandry.exe left behind.
struct ShellRun {
  DWORD exit_code = 0;
  bool timed_out = false;
  std::string out;  // its standard output (kFile only)
  // The child that it started, opened while the shell ran; null when none was seen.
  HANDLE child = nullptr;
};

// A temporary folder with a copy of gandry.exe and a program beside it as gandry.svc (by
// default the stand-in child, which follows the script given). Every process started from
// here runs in a job that is ended with the folder.
class ShellFolder {
 public:
  explicit ShellFolder(const std::string& script,
                       const char* child_program = "shell_stand_in_child.exe");
  ShellFolder(const ShellFolder&) = delete;
  ShellFolder& operator=(const ShellFolder&) = delete;
  ~ShellFolder();

  const std::string& dir() const { return dir_; }  // ends in '\'
  void WriteFile(const std::string& name, const std::string& text) const;
  void Remove(const std::string& name) const;
  // Runs gandry.exe with `args` and waits for its end. `until` (when not empty) ends the run
  // early, ending every process of the job, once the output holds that text.
  ShellRun Run(const std::string& args, StdoutKind kind = StdoutKind::kFile,
               const std::string& until = "");

 private:
  std::string dir_;
  HANDLE job_ = nullptr;
  HANDLE child_ = nullptr;
};

// Whether a process still runs, or has ended (waiting a little for one that is being ended).
bool StillRunning(HANDLE process);
bool Ended(HANDLE process);
DWORD ExitCodeOf(HANDLE process);

}  // namespace gandry
