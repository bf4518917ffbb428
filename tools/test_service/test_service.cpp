// A Windows service (own process) for tests and demonstrations. Register it with its options
// in the command line (binpath):
//
//   test_service.exe                    starts at once and runs until stopped
//   test_service.exe --hang-start       reports start pending (check point 1, wait hint
//                                       2000 ms) and never advances; a stop request still
//                                       ends it where the service manager delivers one
//   test_service.exe --start-delay-ms N reports start pending for N ms, its check point
//                                       advancing every 100 ms, then running
//   test_service.exe --stop-delay-ms N  on a stop request reports stop pending for N ms, its
//                                       check point advancing every 100 ms, then stopped
//   test_service.exe --hang-stop        on a stop request reports stop pending (check point 1,
//                                       wait hint 2000 ms) and never advances nor ends
//   test_service.exe --no-stop          runs without accepting the stop control, so a stop
//                                       request fails with ERROR_INVALID_SERVICE_CONTROL
//   test_service.exe --listen PORT      listens on 127.0.0.1:PORT from before it reports
//                                       running until it stops, and answers whatever arrives
//                                       on a connection with "HTTP/1.0 200 OK"
//   test_service.exe --mute             with --listen: accepts connections but never answers
//   test_service.exe --refuse-after-ms N
//                                       with --listen: closes its port N ms after it reports
//                                       running, so that connections are refused from then on
//
// The options combine. Started outside the service manager it exits with code 1.

#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kStepMs = 100;
constexpr DWORD kPendingHintMs = 1000;
constexpr DWORD kHangHintMs = 2000;

struct Options {
  bool hang_start = false;
  bool hang_stop = false;
  bool no_stop = false;
  DWORD start_delay_ms = 0;
  DWORD stop_delay_ms = 0;
  unsigned short listen_port = 0;
  bool mute = false;
  DWORD refuse_after_ms = 0;
};

Options g_options;
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;

// Called from the service's thread and from the control handler's.
void Report(DWORD state, DWORD check_point, DWORD wait_hint, DWORD accepted) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = accepted;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwCheckPoint = check_point;
  status.dwWaitHint = wait_hint;
  SetServiceStatus(g_status_handle, &status);
}

SOCKET g_listener = INVALID_SOCKET;

// Listens on the loopback address; false when the port cannot be had.
bool Listen(unsigned short port) {
  WSADATA data{};
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    return false;
  }
  g_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return g_listener != INVALID_SOCKET &&
         bind(g_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
         listen(g_listener, SOMAXCONN) == 0;
}

// Reads the request up to its blank line (or the peer's end), then answers it.
void Answer(SOCKET client) {
  std::vector<char> request;
  char buffer[1024];
  for (;;) {
    const int got = recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) {
      break;
    }
    request.insert(request.end(), buffer, buffer + got);
    static constexpr char kEnd[] = "\r\n\r\n";
    if (std::search(request.begin(), request.end(), kEnd, kEnd + 4) != request.end()) {
      break;
    }
  }
  static constexpr char kResponse[] =
      "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n"
      "Connection: close\r\n\r\nok";
  send(client, kResponse, sizeof kResponse - 1, 0);
  shutdown(client, SD_SEND);
  closesocket(client);
}

// Serves until the listener is closed. Mute, it holds every connection open unanswered.
DWORD WINAPI Serve(void*) {
  std::vector<SOCKET> held;
  for (;;) {
    const SOCKET client = accept(g_listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) {
      return 0;
    }
    if (g_options.mute) {
      held.push_back(client);
    } else {
      Answer(client);
    }
  }
}

// Reports `state` for `duration_ms`, moving the check point on at every step.
void ReportPending(DWORD state, DWORD duration_ms, DWORD accepted) {
  DWORD check_point = 2;
  for (DWORD elapsed = 0; elapsed < duration_ms; elapsed += kStepMs) {
    Report(state, check_point++, kPendingHintMs, accepted);
    Sleep(kStepMs);
  }
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      // Acknowledged before the handler returns, so that whoever sent the stop sees it taken
      // at once.
      Report(SERVICE_STOP_PENDING, 1, kPendingHintMs, 0);
      SetEvent(g_stop_event);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
  g_status_handle = RegisterServiceCtrlHandlerExA(argc > 0 ? argv[0] : "", Handler, nullptr);
  if (g_status_handle == nullptr) {
    return;
  }
  g_stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_options.listen_port != 0) {
    if (!Listen(g_options.listen_port)) {
      Report(SERVICE_STOPPED, 0, 0, 0);
      return;
    }
    CloseHandle(CreateThread(nullptr, 0, Serve, nullptr, 0, nullptr));
  }
  if (g_options.hang_start) {
    Report(SERVICE_START_PENDING, 1, kHangHintMs, SERVICE_ACCEPT_STOP);
  } else {
    ReportPending(SERVICE_START_PENDING, g_options.start_delay_ms, 0);
    Report(SERVICE_RUNNING, 0, 0,
           g_options.no_stop ? SERVICE_ACCEPT_SHUTDOWN
                             : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
  }
  if (g_options.refuse_after_ms != 0 && g_listener != INVALID_SOCKET &&
      WaitForSingleObject(g_stop_event, g_options.refuse_after_ms) == WAIT_TIMEOUT) {
    closesocket(g_listener);
    g_listener = INVALID_SOCKET;
  }
  WaitForSingleObject(g_stop_event, INFINITE);
  if (g_listener != INVALID_SOCKET) {
    closesocket(g_listener);
  }
  if (g_options.hang_stop) {
    Report(SERVICE_STOP_PENDING, 1, kHangHintMs, 0);
    Sleep(INFINITE);
  }
  ReportPending(SERVICE_STOP_PENDING, g_options.stop_delay_ms, 0);
  Report(SERVICE_STOPPED, 0, 0, 0);
}

DWORD ParseNumber(const char* text) {
  return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--hang-start") == 0) {
      g_options.hang_start = true;
    } else if (std::strcmp(argv[i], "--hang-stop") == 0) {
      g_options.hang_stop = true;
    } else if (std::strcmp(argv[i], "--no-stop") == 0) {
      g_options.no_stop = true;
    } else if (std::strcmp(argv[i], "--start-delay-ms") == 0 && i + 1 < argc) {
      g_options.start_delay_ms = ParseNumber(argv[++i]);
    } else if (std::strcmp(argv[i], "--stop-delay-ms") == 0 && i + 1 < argc) {
      g_options.stop_delay_ms = ParseNumber(argv[++i]);
    } else if (std::strcmp(argv[i], "--listen") == 0 && i + 1 < argc) {
      g_options.listen_port = static_cast<unsigned short>(ParseNumber(argv[++i]));
    } else if (std::strcmp(argv[i], "--mute") == 0) {
      g_options.mute = true;
    } else if (std::strcmp(argv[i], "--refuse-after-ms") == 0 && i + 1 < argc) {
      g_options.refuse_after_ms = ParseNumber(argv[++i]);
    }
  }
  // An own-process service may leave its name empty in the table.
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
