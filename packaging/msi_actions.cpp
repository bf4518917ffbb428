// gandry-msi-actions.dll: the custom actions of the Windows Installer package. It lives in the
// package's Binary table; Windows Installer loads it to run an action and unloads it after.
//
// RunInstalledManager runs the command line in CustomActionData (the installed
// gandry-manager.exe with its arguments) and writes what the manager printed into the
// installer's log, so that `msiexec /l*v` shows why a registration failed, not only "1603".
// The manager's exit code decides the action's result.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// An error: in the log, and in a full interface a message box with an OK button.
constexpr INSTALLMESSAGE kError =
    static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR);

// One message for the installer. Windows Installer formats the text (a name in brackets is a
// property), so each bracket and brace goes in as the escape that stands for itself.
void Report(MSIHANDLE install, INSTALLMESSAGE kind, const std::string& text) {
  std::string literal;
  for (const char c : text) {
    if (c == '[' || c == ']' || c == '{' || c == '}') {
      literal += "[\\";
      literal += c;
      literal += ']';
    } else {
      literal += c;
    }
  }
  PMSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringA(record, 0, literal.c_str());
  MsiProcessMessage(install, kind, record);
}

std::string Property(MSIHANDLE install, const char* name) {
  DWORD size = 0;
  char empty[1] = "";
  if (MsiGetPropertyA(install, name, empty, &size) != ERROR_MORE_DATA) {
    return {};
  }
  std::vector<char> value(size + 1);
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyA(install, name, value.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  return std::string(value.data(), size);
}

// Everything written into the pipe until the last writer has closed it. The pipe is read to
// its end whatever happens, so that the manager never waits on a full pipe.
std::string ReadAll(HANDLE pipe) noexcept {
  std::string text;
  bool keep = true;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    try {
      if (keep) {
        text.append(buffer, read);
      }
    } catch (...) {
      keep = false;
    }
  }
  return text;
}

// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(std::move(line));
    begin = end + 1;
  }
  return lines;
}

std::string ErrorText(DWORD error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length != 0 ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return "error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

// A pipe whose write end a child inherits and whose read end stays here.
struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;

  bool Open() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreatePipe(&read, &write, &inherit, 0) &&
           SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }
  void CloseWrite() {
    if (write != nullptr) {
      CloseHandle(write);
      write = nullptr;
    }
  }
  ~Pipe() {
    CloseWrite();
    if (read != nullptr) {
      CloseHandle(read);
    }
  }
};

UINT Run(MSIHANDLE install) {
  std::string command = Property(install, "CustomActionData");
  Report(install, INSTALLMESSAGE_INFO, "Gandry: running " + command);
  Pipe out;
  Pipe err;
  if (!out.Open() || !err.Open()) {
    Report(install, kError,
           "Gandry: no pipe for the manager's output, " + ErrorText(GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    Report(install, kError, "Gandry: could not run " + command + ", " + ErrorText(GetLastError()));
    return ERROR_INSTALL_FAILURE;
  }
  CloseHandle(process.hThread);
  // Only the manager holds the write ends now: each pipe ends when the manager does.
  out.CloseWrite();
  err.CloseWrite();
  std::string errors;
  std::thread error_reader([&] { errors = ReadAll(err.read); });
  const std::string output = ReadAll(out.read);
  error_reader.join();
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);

  for (const std::string& line : Lines(output)) {
    Report(install, INSTALLMESSAGE_INFO, "gandry-manager: " + line);
  }
  for (const std::string& line : Lines(errors)) {
    Report(install, INSTALLMESSAGE_INFO, "gandry-manager (stderr): " + line);
  }
  if (exit_code != 0) {
    Report(install, kError,
           "gandry-manager ended with exit code " + std::to_string(exit_code) +
               (errors.empty() ? std::string(".") : ":\r\n" + errors));
    return ERROR_INSTALL_FAILURE;
  }
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RunInstalledManager(MSIHANDLE install) {
  // No exception leaves the library for the installer.
  try {
    return Run(install);
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}
