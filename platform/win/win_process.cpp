#include "platform/win/win_process.h"

#include <windows.h>

#include <vector>

#include "platform/win/win_error.h"
#include "platform/win/win_error_text.h"

namespace gandry {

namespace {

static_assert(STILL_ACTIVE == kStillActive);

class WinProcess final : public Process {
 public:
  explicit WinProcess(HANDLE handle) : handle_(handle) {}
  WinProcess(const WinProcess&) = delete;
  WinProcess& operator=(const WinProcess&) = delete;
  ~WinProcess() override { CloseHandle(handle_); }

  Result<std::uint32_t> ExitCode() override {
    DWORD value = 0;
    if (!GetExitCodeProcess(handle_, &value)) {
      return LastError();
    }
    return std::uint32_t{value};
  }

  Status Terminate(std::uint32_t exit_code) override {
    if (!TerminateProcess(handle_, exit_code)) {
      return LastError();
    }
    return {};
  }

 private:
  HANDLE handle_;
};

}  // namespace

Result<std::unique_ptr<Process>> WinProcesses::Start(const std::string& application,
                                                     const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // CreateProcessA may write into the command line, so it gets a copy of its own.
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return LastError();
  }
  CloseHandle(info.hThread);
  return std::unique_ptr<Process>(std::make_unique<WinProcess>(info.hProcess));
}

std::string WinProcesses::ErrorText(std::uint32_t error) {
  return SystemErrorText(error);
}

std::uint32_t WinProcesses::CurrentId() {
  return GetCurrentProcessId();
}

void WinProcesses::ExitCurrent(std::uint32_t exit_code) {
  ExitProcess(exit_code);
}

std::string OwnExecutablePath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      return std::string(path.data(), length);
    }
    path.resize(path.size() * 2);
  }
}

std::string OwnCommandLine() {
  return GetCommandLineA();
}

}  // namespace gandry
