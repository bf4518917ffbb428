#include "platform/win/win_service_host.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win/win_error.h"

namespace gandry {

namespace {

static_assert(SERVICE_WIN32_OWN_PROCESS == 0x10);
static_assert(SERVICE_ACCEPT_STOP == 1 && SERVICE_ACCEPT_PAUSE_CONTINUE == 2 &&
              SERVICE_ACCEPT_SHUTDOWN == 4 && SERVICE_ACCEPT_PARAMCHANGE == 8);
static_assert(SERVICE_CONTROL_STOP == 1 && SERVICE_CONTROL_PAUSE == 2 &&
              SERVICE_CONTROL_CONTINUE == 3 && SERVICE_CONTROL_INTERROGATE == 4 &&
              SERVICE_CONTROL_SHUTDOWN == 5 && SERVICE_CONTROL_PARAMCHANGE == 6);
static_assert(ERROR_SERVICE_SPECIFIC_ERROR == 1066);

// Set by Dispatch for the time it runs.
std::atomic<ServiceHandler*> g_handler{nullptr};
std::atomic<const char*> g_name{nullptr};
std::atomic<SERVICE_STATUS_HANDLE> g_status_handle{nullptr};

DWORD ControlsMask(const AcceptedControls& accepts) {
  return (accepts.stop ? SERVICE_ACCEPT_STOP : 0) |
         (accepts.pause_continue ? SERVICE_ACCEPT_PAUSE_CONTINUE : 0) |
         (accepts.shutdown ? SERVICE_ACCEPT_SHUTDOWN : 0) |
         (accepts.param_change ? SERVICE_ACCEPT_PARAMCHANGE : 0);
}

ServiceRequest RequestOf(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return ServiceRequest::kStop;
    case SERVICE_CONTROL_PAUSE:
      return ServiceRequest::kPause;
    case SERVICE_CONTROL_CONTINUE:
      return ServiceRequest::kContinue;
    case SERVICE_CONTROL_INTERROGATE:
      return ServiceRequest::kInterrogate;
    case SERVICE_CONTROL_SHUTDOWN:
      return ServiceRequest::kShutdown;
    case SERVICE_CONTROL_PARAMCHANGE:
      return ServiceRequest::kParamChange;
    default:
      return ServiceRequest::kOther;
  }
}

class WinServiceStatusReporter final : public ServiceStatusReporter {
 public:
  void Report(const ServiceStatusRecord& status) override {
    SERVICE_STATUS record{};
    record.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    record.dwCurrentState = static_cast<DWORD>(status.state);
    record.dwControlsAccepted = ControlsMask(status.accepts);
    record.dwWin32ExitCode = status.service_exit_code != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : 0;
    record.dwServiceSpecificExitCode = status.service_exit_code;
    record.dwCheckPoint = status.check_point;
    record.dwWaitHint = status.wait_hint_ms;
    SetServiceStatus(g_status_handle.load(), &record);
  }
};

WinServiceStatusReporter g_reporter;

void WINAPI ControlHandler(DWORD control) {
  if (ServiceHandler* handler = g_handler.load()) {
    handler->Control(RequestOf(control));
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  const SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA(g_name.load(), &ControlHandler);
  if (handle == nullptr) {
    return;
  }
  g_status_handle.store(handle);
  if (ServiceHandler* handler = g_handler.load()) {
    handler->Serve();
  }
}

}  // namespace

ServiceStatusReporter& WinServiceHost::reporter() {
  return g_reporter;
}

Status WinServiceHost::Dispatch(const std::string& name, ServiceHandler& handler) {
  std::string table_name(name);
  g_name.store(table_name.c_str());
  g_handler.store(&handler);
  SERVICE_TABLE_ENTRYA table[] = {{table_name.data(), &ServiceMain}, {nullptr, nullptr}};
  Status result;
  if (!StartServiceCtrlDispatcherA(table)) {
    result = LastError();
  }
  g_handler.store(nullptr);
  g_name.store(nullptr);
  return result;
}

}  // namespace gandry
