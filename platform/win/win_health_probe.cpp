#include "platform/win/win_health_probe.h"

#include <windows.h>
#include <winhttp.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/win/win_text_encoding.h"

namespace gandry {

namespace {

// A handle of one of the calls below, closed when it goes out of scope.
template <class Handle, auto kClose, Handle kNone>
class Owned {
 public:
  explicit Owned(Handle handle) : handle_(handle) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    if (handle_ != kNone) {
      kClose(handle_);
    }
  }
  Handle get() const { return handle_; }

 private:
  Handle handle_;
};

using Socket = Owned<SOCKET, closesocket, INVALID_SOCKET>;
using HttpHandle = Owned<HINTERNET, WinHttpCloseHandle, nullptr>;
using KernelHandle = Owned<HANDLE, CloseHandle, nullptr>;

using Clock = std::chrono::steady_clock;

// How often a wait looks at the stop flag: a stop is noticed this late at most.
constexpr std::chrono::milliseconds kStopPoll(100);

ProbeOutcome Failure(ProbeFailure failure, std::uint32_t detail) {
  return ProbeOutcome{failure, detail};
}

ProbeOutcome TimedOut(std::chrono::seconds timeout) {
  return Failure(ProbeFailure::kTimedOut, static_cast<std::uint32_t>(timeout.count()));
}

// ---- tcp ----

ProbeOutcome FromWinsockError(int error, std::chrono::seconds timeout) {
  const auto code = static_cast<std::uint32_t>(error);
  switch (error) {
    case WSAECONNREFUSED:
      return Failure(ProbeFailure::kRefused, code);
    case WSAETIMEDOUT:
      return TimedOut(timeout);
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
      return Failure(ProbeFailure::kUnreachable, code);
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
      return Failure(ProbeFailure::kHostNotFound, code);
    default:
      return Failure(ProbeFailure::kConnectFailed, code);
  }
}

// Winsock for the life of the process, started by the first TCP check.
int WinsockStartError() {
  static const int error = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return error;
}

// One non-blocking connection attempt to `address` until `deadline`; 0 when it was accepted,
// else the Winsock error (WSAETIMEDOUT at the deadline).
int Connect(const addrinfo& address, Clock::time_point deadline) {
  const Socket socket(::socket(address.ai_family, address.ai_socktype, address.ai_protocol));
  if (socket.get() == INVALID_SOCKET) {
    return WSAGetLastError();
  }
  u_long non_blocking = 1;
  if (ioctlsocket(socket.get(), FIONBIO, &non_blocking) != 0) {
    return WSAGetLastError();
  }
  if (connect(socket.get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) {
    return 0;
  }
  if (WSAGetLastError() != WSAEWOULDBLOCK) {
    return WSAGetLastError();
  }
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
      std::max(deadline - Clock::now(), Clock::duration::zero()));
  timeval limit{};
  limit.tv_sec = static_cast<long>(left.count() / 1'000'000);
  limit.tv_usec = static_cast<long>(left.count() % 1'000'000);
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket.get(), &writable);
  FD_SET(socket.get(), &failed);
  // Windows reports a refused non-blocking connection in the exception set.
  const int ready = select(0, nullptr, &writable, &failed, &limit);
  if (ready == SOCKET_ERROR) {
    return WSAGetLastError();
  }
  if (ready == 0) {
    return WSAETIMEDOUT;
  }
  if (FD_ISSET(socket.get(), &failed)) {
    int error = 0;
    int size = sizeof error;
    getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    return error != 0 ? error : WSAECONNREFUSED;
  }
  return 0;
}

ProbeOutcome ProbeTcp(const HealthTarget& target, std::chrono::seconds timeout) {
  if (const int error = WinsockStartError(); error != 0) {
    return Failure(ProbeFailure::kProbeFailed, static_cast<std::uint32_t>(error));
  }
  const Clock::time_point deadline = Clock::now() + timeout;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* addresses = nullptr;
  const std::string port = std::to_string(target.port);
  if (const int error = getaddrinfo(target.host.c_str(), port.c_str(), &hints, &addresses);
      error != 0) {
    return FromWinsockError(error, timeout);
  }
  // A name may stand for several addresses (localhost: ::1 and 127.0.0.1); any that accepts
  // makes the check pass.
  int error = WSAHOST_NOT_FOUND;
  for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
    error = Connect(*address, deadline);
    if (error == 0 || error == WSAETIMEDOUT) {
      break;
    }
  }
  freeaddrinfo(addresses);
  return error == 0 ? ProbeOutcome{} : FromWinsockError(error, timeout);
}

// ---- http, https ----

ProbeOutcome FromWinHttpError(DWORD error, std::chrono::seconds timeout) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
      return TimedOut(timeout);
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return Failure(ProbeFailure::kHostNotFound, error);
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return Failure(ProbeFailure::kConnectFailed, error);
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_HEADER_NOT_FOUND:
      return Failure(ProbeFailure::kBadResponse, error);
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
      return Failure(ProbeFailure::kTlsFailed, error);
    default:
      return Failure(ProbeFailure::kProbeFailed, error);
  }
}

ProbeOutcome ProbeHttp(const HealthTarget& target, std::chrono::seconds timeout) {
  const auto failed = [timeout] { return FromWinHttpError(GetLastError(), timeout); };
  // No proxy: a check asks the service itself, most often on this machine.
  const HttpHandle session(WinHttpOpen(L"Gandry health check", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.get() == nullptr) {
    return failed();
  }
  const int limit_ms = static_cast<int>(std::chrono::milliseconds(timeout).count());
  if (!WinHttpSetTimeouts(session.get(), limit_ms, limit_ms, limit_ms, limit_ms)) {
    return failed();
  }
  const Result<std::wstring> host = AnsiToWide(target.host);
  const Result<std::wstring> path = AnsiToWide(target.path);
  if (!host) {
    return Failure(ProbeFailure::kProbeFailed, host.error().code);
  }
  if (!path) {
    return Failure(ProbeFailure::kProbeFailed, path.error().code);
  }
  const HttpHandle connection(WinHttpConnect(session.get(), host->c_str(), target.port, 0));
  if (connection.get() == nullptr) {
    return failed();
  }
  const bool secure = target.kind == HealthCheckKind::kHttps;
  const HttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", path->c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              secure ? WINHTTP_FLAG_SECURE : 0));
  if (request.get() == nullptr) {
    return failed();
  }
  // A redirect is the service's own answer (healthy); following it would ask somebody else.
  DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
  if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects,
                        sizeof no_redirects)) {
    return failed();
  }
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                          0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return failed();
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return failed();
  }
  if (status < 200 || status > 399) {
    return Failure(ProbeFailure::kHttpStatus, status);
  }
  return {};
}

// A network check on a thread of its own, which the caller leaves behind at its time-out or
// at a stop: name resolution, for one, cannot be bounded otherwise. The thread ends by its own
// time-outs soon after.
struct NetworkRun {
  std::mutex mutex;
  std::condition_variable finished_cv;
  bool finished = false;
  ProbeOutcome outcome;
};

ProbeOutcome RunNetwork(const HealthTarget& target, std::chrono::seconds timeout,
                        const WaitableFlag& stop) {
  auto run = std::make_shared<NetworkRun>();
  try {
    std::thread([run, target, timeout] {
      const ProbeOutcome outcome = target.kind == HealthCheckKind::kTcp
                                       ? ProbeTcp(target, timeout)
                                       : ProbeHttp(target, timeout);
      const std::lock_guard lock(run->mutex);
      run->finished = true;
      run->outcome = outcome;
      run->finished_cv.notify_all();
    }).detach();
  } catch (const std::system_error& error) {
    return Failure(ProbeFailure::kProbeFailed, static_cast<std::uint32_t>(error.code().value()));
  }
  const Clock::time_point deadline = Clock::now() + timeout;
  std::unique_lock lock(run->mutex);
  for (;;) {
    if (run->finished) {
      return run->outcome;
    }
    if (stop.IsRaised()) {
      return Failure(ProbeFailure::kCancelled, 0);
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      return TimedOut(timeout);
    }
    run->finished_cv.wait_for(lock, std::min<Clock::duration>(deadline - now, kStopPoll));
  }
}

// ---- exec ----

ProbeOutcome StartFailure(DWORD error) {
  const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME;
  return Failure(missing ? ProbeFailure::kProgramNotFound : ProbeFailure::kStartFailed, error);
}

// The program file itself: exactly the command line's first word, so that an unquoted path
// with blanks (C:\Program Files\...) finds nothing rather than C:\Program.exe.
std::string FindProgram(const std::string& program, DWORD& error) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = SearchPathA(nullptr, program.c_str(), ".exe",
                                     static_cast<DWORD>(path.size()), path.data(), nullptr);
    if (length == 0) {
      error = GetLastError();
      return {};
    }
    if (length < path.size()) {
      return std::string(path.data(), length);
    }
    path.resize(length);
  }
}

ProbeOutcome RunExec(const HealthTarget& target, std::chrono::seconds timeout,
                     const WaitableFlag& stop) {
  DWORD error = 0;
  const std::string program = FindProgram(target.program, error);
  if (program.empty()) {
    return StartFailure(error);
  }
  // Closing the job's last handle ends every process in it: the program and whatever it
  // started, also when the check returns early.
  const KernelHandle job(CreateJobObjectA(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job.get() == nullptr || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation,
                                                       &limits, sizeof limits)) {
    return Failure(ProbeFailure::kProbeFailed, GetLastError());
  }
  // No window, and standard handles of its own (none) rather than the watchdog's.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  std::vector<char> line(target.command_line.begin(), target.command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info)) {
    return StartFailure(GetLastError());
  }
  const KernelHandle process(info.hProcess);
  const KernelHandle thread(info.hThread);
  // In the job before it runs, so that everything it starts is in there too.
  if (!AssignProcessToJobObject(job.get(), process.get())) {
    error = GetLastError();
    TerminateProcess(process.get(), 1);
    return Failure(ProbeFailure::kStartFailed, error);
  }
  ResumeThread(thread.get());
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (stop.IsRaised() || now >= deadline) {
      TerminateJobObject(job.get(), 1);
      // The caller's next check, or the watchdog's end, comes only once they are gone.
      WaitForSingleObject(process.get(), 1000);
      return stop.IsRaised() ? Failure(ProbeFailure::kCancelled, 0) : TimedOut(timeout);
    }
    const auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::min<Clock::duration>(deadline - now, kStopPoll));
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(slice.count()) + 1) ==
        WAIT_OBJECT_0) {
      break;
    }
  }
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process.get(), &exit_code)) {
    return Failure(ProbeFailure::kProbeFailed, GetLastError());
  }
  return exit_code == 0 ? ProbeOutcome{} : Failure(ProbeFailure::kExitCode, exit_code);
}

}  // namespace

ProbeOutcome WinHealthProbe::Run(const HealthTarget& target, std::chrono::seconds timeout,
                                 const WaitableFlag& stop) {
  if (stop.IsRaised()) {
    return Failure(ProbeFailure::kCancelled, 0);
  }
  if (target.kind == HealthCheckKind::kExec) {
    return RunExec(target, timeout, stop);
  }
  return RunNetwork(target, timeout, stop);
}

}  // namespace gandry
