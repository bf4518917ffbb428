#pragma once

#include <windows.h>

#include <string>

namespace gandry::rig {

// A service of the service manager, registered as an own-process service started on demand,
// and deleted at the end: stopped first, its process ended if it does not stop.
// Wine goes on reporting the process id of a service whose process was ended, and gives that id
// to the next process at once. So the process to end is held by a handle taken while the
// service was seen running with it, never opened by its id at the end.
class RegisteredService {
 public:
  RegisteredService(std::string name, const std::string& command_line);
  RegisteredService(const RegisteredService&) = delete;
  RegisteredService& operator=(const RegisteredService&) = delete;
  ~RegisteredService();

  bool registered() const { return service_ != nullptr; }
  const std::string& name() const { return name_; }
  bool Start();
  // Starts the service and waits until it runs; tries again when a busy service manager
  // times the start out.
  bool StartRunning();
  bool Stop();
  bool Control(DWORD control);
  SERVICE_STATUS Status();
  DWORD State();
  // 0 when the service has no process.
  DWORD ProcessId();
  // Polls every `poll_ms`; false when the state was not reached within `limit_ms`.
  bool WaitForState(DWORD state, DWORD limit_ms, DWORD poll_ms = 50);

 private:
  // Holds the process the service is seen running in, so that its id cannot pass to another.
  void HoldRunningProcess(const SERVICE_STATUS_PROCESS& status);
  SERVICE_STATUS_PROCESS StatusProcess();

  std::string name_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
};

// Waits until the process `process_id` has ended (false after `limit_ms`).
bool WaitProcessEnd(DWORD process_id, DWORD limit_ms);

}  // namespace gandry::rig
