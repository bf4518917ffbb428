#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/result.h"

namespace gandry {

// The exit code that the platform reports for a process that is still running.
inline constexpr std::uint32_t kStillActive = 259;

// A started process, held by its handle while this object lives. Dropping the object closes
// the handle and leaves the process running.
class Process {
 public:
  virtual ~Process() = default;
  // The exit code; kStillActive while the process runs.
  virtual Result<std::uint32_t> ExitCode() = 0;
  // Ends the process with `exit_code`.
  virtual Status Terminate(std::uint32_t exit_code) = 0;
};

// Starting and ending processes, and the system's texts for error codes.
class Processes {
 public:
  virtual ~Processes() = default;
  // Starts the program file `application` (a full path, so nothing is searched for) with the
  // given command line, this process's environment and current directory, and no inherited
  // handles.
  virtual Result<std::unique_ptr<Process>> Start(const std::string& application,
                                                 const std::string& command_line) = 0;
  // The system's message text for an error code; empty when the system has none.
  virtual std::string ErrorText(std::uint32_t error) = 0;
  // This process's id.
  virtual std::uint32_t CurrentId() = 0;
  // Ends this process at once with `exit_code`.
  virtual void ExitCurrent(std::uint32_t exit_code) = 0;
};

}  // namespace gandry
