#include "tools/wine_rig/child_process.h"

namespace gandry::rig {

ChildProcess::ChildProcess(const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  std::string command = command_line;
  started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info_) != 0;
}

ChildProcess::~ChildProcess() {
  if (started_) {
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
}

bool ChildProcess::Running() const {
  return started_ && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD ChildProcess::WaitExit(DWORD limit_ms) const {
  DWORD code = STILL_ACTIVE;
  if (started_) {
    WaitForSingleObject(info_.hProcess, limit_ms);
    GetExitCodeProcess(info_.hProcess, &code);
  }
  return code;
}

}  // namespace gandry::rig
