#pragma once

#include <string>

#include "platform/process.h"

namespace gandry {

// Processes through kernel32: CreateProcessA, GetExitCodeProcess, TerminateProcess,
// FormatMessageA, GetCurrentProcessId and ExitProcess.
class WinProcesses final : public Processes {
 public:
  Result<std::unique_ptr<Process>> Start(const std::string& application,
                                         const std::string& command_line) override;
  std::string ErrorText(std::uint32_t error) override;
  std::uint32_t CurrentId() override;
  void ExitCurrent(std::uint32_t exit_code) override;
};

// The full path of this process's program file.
std::string OwnExecutablePath();
// This process's command line as the platform hands it over.
std::string OwnCommandLine();

}  // namespace gandry
