#include "platform/win/win_service_host.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/service_status.h"
#include "watchdog/service_control.h"

namespace gandry {

namespace {

// The dispatcher's callbacks take no context, so the one service of this process is reached
// through these.
std::atomic<ServiceControl*> g_control{nullptr};
std::atomic<SERVICE_STATUS_HANDLE> g_status_handle{nullptr};

class WinServiceStatusReporter final : public ServiceStatusReporter {
 public:
  void Report(const ServiceStatusRecord& status) override {
    SERVICE_STATUS record{};
    record.dwServiceType = status.service_type;
    record.dwCurrentState = status.current_state;
    record.dwControlsAccepted = status.controls_accepted;
    record.dwWin32ExitCode = status.win32_exit_code;
    record.dwServiceSpecificExitCode = status.service_exit_code;
    record.dwCheckPoint = status.check_point;
    record.dwWaitHint = status.wait_hint_ms;
    SetServiceStatus(g_status_handle.load(), &record);
  }
};

void WINAPI ControlHandler(DWORD control) {
  if (ServiceControl* service = g_control.load()) {
    service->Control(control);
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  const SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA(kServiceName, &ControlHandler);
  if (handle == nullptr) {
    return;
  }
  g_status_handle.store(handle);
  if (ServiceControl* service = g_control.load()) {
    service->Serve();
  }
}

}  // namespace

void RunServiceDispatcher(Watchdog& watchdog) {
  WinServiceStatusReporter reporter;
  ServiceControl service(watchdog, reporter);
  g_control.store(&service);
  std::string name(kServiceName);
  SERVICE_TABLE_ENTRYA table[] = {{name.data(), &ServiceMain}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherA(table);
  g_control.store(nullptr);
}

}  // namespace gandry
