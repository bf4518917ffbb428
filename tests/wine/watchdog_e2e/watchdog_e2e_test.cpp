#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/zt_mapfile.h"
#include "platform/win/win_shared_memory.h"

namespace gandry {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr DWORD kWaitLimitMs = 60'000;

std::string BinFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string module(path, length);
  return module.substr(0, module.find_last_of('\\') + 1);
}

std::string UniqueName(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

// A fresh folder holding a copy of gandry.svc and nothing else; removed at the end.
class WatchdogFolder {
 public:
  WatchdogFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + UniqueName("gandry-e2e") + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
    copied_ = CopyFileA((BinFolder() + "gandry.svc").c_str(), program().c_str(), TRUE) != 0;
  }
  WatchdogFolder(const WatchdogFolder&) = delete;
  WatchdogFolder& operator=(const WatchdogFolder&) = delete;
  ~WatchdogFolder() {
    // A service process may still be on its way out and hold its program open.
    for (int i = 0; i < 50; ++i) {
      DeleteFileA(ini().c_str());
      DeleteFileA(program().c_str());
      if (RemoveDirectoryA(path_.c_str())) {
        break;
      }
      Sleep(100);
    }
  }

  std::string program() const { return path_ + "gandry.svc"; }
  std::string ini() const { return path_ + "Gandry.ini"; }
  bool copied() const { return copied_; }

  void Write(const char* section, const char* key, const std::string& value) const {
    WritePrivateProfileStringA(section, key, value.c_str(), ini().c_str());
  }
  std::string Read(const char* section, const char* key) const {
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, ini().c_str());
    return value;
  }
  void WriteDelays(int seconds) const {
    for (const char* key : {"LoopDelayThread", "LoopDelayService", "StartDelayThread"}) {
      Write("Settings", key, std::to_string(seconds));
    }
  }

 private:
  std::string path_;
  bool copied_ = false;
};

// A child process with null standard handles, ended at the end if still running.
class Child {
 public:
  explicit Child(const std::string& command_line) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    std::string command = command_line;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info_) != 0;
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (started_) {
      TerminateProcess(info_.hProcess, 0);
      WaitForSingleObject(info_.hProcess, 5000);
      CloseHandle(info_.hThread);
      CloseHandle(info_.hProcess);
    }
  }

  bool started() const { return started_; }
  // The exit code once the child has ended within the limit; STILL_ACTIVE otherwise.
  DWORD WaitExit(DWORD limit_ms) {
    WaitForSingleObject(info_.hProcess, limit_ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

// Reads the ring as the shell would; opened before the watchdog starts.
class RingReader {
 public:
  RingReader() : channel_(memory_) {
    channel_.open();
    std::string stale;
    while (channel_.take(stale)) {
    }
  }

  const std::vector<std::string>& lines() {
    std::string line;
    while (channel_.take(line)) {
      lines_.push_back(line);
    }
    return lines_;
  }
  // Polls until `done` holds for the lines so far, or the limit is reached.
  bool WaitFor(const std::function<bool(const std::vector<std::string>&)>& done) {
    const ULONGLONG deadline = GetTickCount64() + kWaitLimitMs;
    while (!done(lines())) {
      if (GetTickCount64() > deadline) {
        return false;
      }
      Sleep(200);
    }
    return true;
  }

 private:
  WinSharedMemory memory_;
  MessageChannel channel_;
  std::vector<std::string> lines_;
};

int CountEnding(const std::vector<std::string>& lines, const std::string& tail) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.size() >= tail.size() &&
           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
  }));
}

// A service of Wine's service manager, registered under `name` with `command` as its binary
// path; stopped (or its process ended) and deleted at the end.
class RegisteredService {
 public:
  RegisteredService(std::string name, const std::string& command) : name_(std::move(name)) {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    service_ = CreateServiceA(manager_, name_.c_str(), name_.c_str(), SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                              command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  RegisteredService(const RegisteredService&) = delete;
  RegisteredService& operator=(const RegisteredService&) = delete;
  ~RegisteredService() {
    if (service_ != nullptr) {
      SERVICE_STATUS status;
      ControlService(service_, SERVICE_CONTROL_STOP, &status);
      if (!WaitForState(SERVICE_STOPPED, 10'000)) {
        SERVICE_STATUS_PROCESS process{};
        DWORD needed = 0;
        if (QueryServiceStatusEx(service_, SC_STATUS_PROCESS_INFO,
                                 reinterpret_cast<BYTE*>(&process), sizeof process, &needed) &&
            process.dwProcessId != 0) {
          HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId);
          TerminateProcess(handle, 1);
          WaitForSingleObject(handle, 5000);
          CloseHandle(handle);
        }
      }
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    CloseServiceHandle(manager_);
  }

  bool registered() const { return service_ != nullptr; }
  const std::string& name() const { return name_; }
  bool Start() { return StartServiceA(service_, 0, nullptr) != 0; }
  bool Control(DWORD control) {
    SERVICE_STATUS status;
    return ControlService(service_, control, &status) != 0;
  }
  SERVICE_STATUS Status() {
    SERVICE_STATUS status{};
    QueryServiceStatus(service_, &status);
    return status;
  }
  bool WaitForState(DWORD state, DWORD limit_ms = kWaitLimitMs) {
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    while (Status().dwCurrentState != state) {
      if (GetTickCount64() > deadline) {
        return false;
      }
      Sleep(50);
    }
    return true;
  }

 private:
  std::string name_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

std::string TestServiceCommand() {
  return "\"" + BinFolder() + "test_service.exe\"";
}

TEST(WatchdogEndToEnd, DebugRunInAnEmptyFolderWritesTheDefaultsAndEnds) {
  WatchdogFolder folder;
  ASSERT_TRUE(folder.copied());
  RingReader ring;
  Child watchdog("\"" + folder.program() + "\" -debug");
  ASSERT_TRUE(watchdog.started());
  EXPECT_EQ(watchdog.WaitExit(30'000), 0u);

  const auto& lines = ring.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Configuration file: [" + folder.ini() + "]");
  EXPECT_EQ(lines[1], "Items not found.");
  EXPECT_THAT(lines[2], ::testing::MatchesRegex("^\\d.*: Nothing to do\\. Exiting\\.$"));
  EXPECT_EQ(folder.Read("Settings", "LoopDelayThread"), "30");
  EXPECT_EQ(folder.Read("Settings", "LoopDelayService"), "20");
  EXPECT_EQ(folder.Read("Settings", "StartDelayThread"), "180");
}

// One debug run watching three services at once, to keep the run short: a stopped service is
// brought back, a service whose program does not exist runs out of attempts, and a negative
// period restarts a running service on every pass.
TEST(WatchdogEndToEnd, DebugRunBringsBackRestartsAndGivesUp) {
  RegisteredService stopped(UniqueName("gandry-e2e-stopped"), TestServiceCommand());
  RegisteredService missing(UniqueName("gandry-e2e-missing"),
                            "\"C:\\no-such-folder\\no-such-service.exe\"");
  RegisteredService running(UniqueName("gandry-e2e-running"), TestServiceCommand());
  ASSERT_TRUE(stopped.registered() && missing.registered() && running.registered());
  ASSERT_TRUE(running.Start());
  ASSERT_TRUE(running.WaitForState(SERVICE_RUNNING));

  WatchdogFolder folder;
  ASSERT_TRUE(folder.copied());
  folder.WriteDelays(5);
  folder.Write("Services", "Item1", stopped.name() + "||3|0");
  folder.Write("Services", "Item2", missing.name() + "|no program|1|0");
  folder.Write("Services", "Item3", running.name() + "||0|-1");

  RingReader ring;
  Child watchdog("\"" + folder.program() + "\" -debug");
  ASSERT_TRUE(watchdog.started());
  const std::string started =
      ": Service [" + stopped.name() + "] successfully started by 3 attempt(s).";
  const std::string expired =
      ": Attempts (1) to start service [" + missing.name() + "] is expired.";
  const std::string restarted = "Service [" + running.name() + "] successfully restarted.";
  const bool all_seen = ring.WaitFor([&](const std::vector<std::string>& lines) {
    int restarts = 0;
    for (const auto& line : lines) {
      restarts += line.find(restarted) != std::string::npos ? 1 : 0;
    }
    return CountEnding(lines, started) == 1 && CountEnding(lines, expired) >= 1 && restarts >= 2;
  });
  const auto& lines = ring.lines();
  EXPECT_TRUE(all_seen) << ::testing::PrintToString(lines);
  EXPECT_EQ(stopped.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(running.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(watchdog.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));

  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], "Successfully loaded 3 items.");
  EXPECT_EQ(CountEnding(lines, ": start thread #1 of [" + stopped.name() + "]"), 1);
  EXPECT_EQ(CountEnding(lines, ": start thread #3 of [" + running.name() + "]"), 1);
  EXPECT_THAT(lines, Contains(HasSubstr(": Self service was successfully started. Taked 3 item(s) "
                                        "for manage:\n 1. [" +
                                        stopped.name() + "||3|0]\n 2. [")));
}

TEST(WatchdogEndToEnd, RunsAsTheServiceAndAnswersItsControls) {
  RegisteredService watched(UniqueName("gandry-e2e-watched"), TestServiceCommand());
  ASSERT_TRUE(watched.registered());
  WatchdogFolder folder;
  ASSERT_TRUE(folder.copied());
  // Long pauses everywhere: a prompt stop shows that the waits wake at once.
  folder.WriteDelays(120);
  folder.Write("Services", "Item1", watched.name() + "||3|0");
  RegisteredService gandry("zt-gandry-demon", "\"" + folder.program() + "\" -service");
  ASSERT_TRUE(gandry.registered());

  ASSERT_TRUE(gandry.Start());
  ASSERT_TRUE(gandry.WaitForState(SERVICE_RUNNING));
  const SERVICE_STATUS running = gandry.Status();
  EXPECT_EQ(running.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(running.dwControlsAccepted,
            static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                               SERVICE_ACCEPT_SHUTDOWN));

  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_PAUSE));
  EXPECT_TRUE(gandry.WaitForState(SERVICE_PAUSED));
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_CONTINUE));
  EXPECT_TRUE(gandry.WaitForState(SERVICE_RUNNING));
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_INTERROGATE));
  EXPECT_EQ(gandry.Status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  const ULONGLONG stop_requested = GetTickCount64();
  ASSERT_TRUE(gandry.Control(SERVICE_CONTROL_STOP));
  ASSERT_TRUE(gandry.WaitForState(SERVICE_STOPPED));
  const ULONGLONG latency = GetTickCount64() - stop_requested;
  std::printf("service stop latency: %llu ms\n", latency);
  // Far below the 120 s pauses of the supervisor and the monitor.
  EXPECT_LT(latency, 20'000u);
}

TEST(WatchdogEndToEnd, ServiceWithoutItemsStopsByItself) {
  WatchdogFolder folder;
  ASSERT_TRUE(folder.copied());
  folder.WriteDelays(120);
  RegisteredService gandry("zt-gandry-demon", "\"" + folder.program() + "\" -service");
  ASSERT_TRUE(gandry.registered());
  ASSERT_TRUE(gandry.Start());
  EXPECT_TRUE(gandry.WaitForState(SERVICE_STOPPED, 20'000));
  EXPECT_EQ(gandry.Status().dwWin32ExitCode, 0u);
}

}  // namespace
}  // namespace gandry
