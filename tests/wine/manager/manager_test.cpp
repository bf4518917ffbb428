#include <windows.h>

#include <aclapi.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/win_service_recovery.h"
#include "platform/win/win_text_encoding.h"
#include "platform/win/win_write_access.h"
#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/registered_service.h"

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr char kWatchdog[] = "zt-gandry-demon";
constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\zt-gandry-demon";
constexpr char kSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Gandry Service";

std::string ReadFileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string WithoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

// A string or number value under HKLM; nothing when the key or value is missing.
std::optional<std::string> RegistryText(const char* key, const char* value) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key, value,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(data);
}
std::optional<DWORD> RegistryNumber(const char* key, const char* value) {
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return data;
}

bool KeyExists(const char* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

struct Outcome {
  DWORD exit_code = STILL_ACTIVE;
  std::string out;
  std::string err;
};

// A folder "gandry manager-…" in the temporary folder with copies of the manager and the
// watchdog; the service and the event source are removed at the end, whatever the test left.
class ManagerFolder {
 public:
  ManagerFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + rig::UniqueName("gandry manager") + "\\";
    ready_ =
        CreateDirectoryA(path_.c_str(), nullptr) &&
        CopyFileA((rig::BinFolder() + "gandry-manager.exe").c_str(), Manager().c_str(), TRUE) &&
        CopyFileA((rig::BinFolder() + "gandry.svc").c_str(), Svc().c_str(), TRUE);
  }
  ManagerFolder(const ManagerFolder&) = delete;
  ManagerFolder& operator=(const ManagerFolder&) = delete;
  ~ManagerFolder() {
    Run("uninstall");
    for (const std::string& file :
         {Manager(), Svc(), Ini(), path_ + "out.txt", path_ + "err.txt"}) {
      DeleteFileA(file.c_str());
    }
    for (int i = 0; i < 50 && !RemoveDirectoryA(path_.c_str()); ++i) {
      Sleep(100);
    }
  }

  bool ready() const { return ready_; }
  std::string Manager() const { return path_ + "gandry-manager.exe"; }
  std::string Svc() const { return path_ + "gandry.svc"; }
  std::string Ini() const { return path_ + "Gandry.ini"; }
  std::string QuotedCommand() const { return "\"" + Svc() + "\" -service"; }

  // Runs the manager with `arguments`, its output in files (a pipe would wait for the services
  // that the manager's first call may start).
  Outcome Run(const std::string& arguments) const {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::string out_path = path_ + "out.txt";
    const std::string err_path = path_ + "err.txt";
    HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    std::string command = "\"" + Manager() + "\" " + arguments;
    Outcome outcome;
    // Started from another folder: the manager finds its files from its own path.
    if (CreateProcessA(Manager().c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       rig::BinFolder().c_str(), &startup, &info)) {
      WaitForSingleObject(info.hProcess, 150'000);
      GetExitCodeProcess(info.hProcess, &outcome.exit_code);
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    // Written in text mode: every line ends in CR LF.
    outcome.out = WithoutCarriageReturns(ReadFileText(out_path));
    outcome.err = WithoutCarriageReturns(ReadFileText(err_path));
    return outcome;
  }

  // Starts the manager with `arguments` and its output thrown away; the process to wait for.
  HANDLE Start(const std::string& arguments) const {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION info{};
    std::string command = "\"" + Manager() + "\" " + arguments;
    const BOOL started = CreateProcessA(Manager().c_str(), command.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, rig::BinFolder().c_str(), &startup, &info);
    CloseHandle(nul);
    if (!started) {
      return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
  }

  std::string IniValue(const char* section, const char* key) const {
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, Ini().c_str());
    return value;
  }

 private:
  std::string path_;
  bool ready_ = false;
};

DWORD WatchdogState() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kWatchdog, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  const DWORD state = service && QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
  if (service) {
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return state;
}

// Rewrites the watchdog's registration as a hand-made one might be.
bool BreakRegistration(const std::string& command_line) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kWatchdog, SERVICE_CHANGE_CONFIG);
  const bool changed =
      service && ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                                      SERVICE_NO_CHANGE, command_line.c_str(), nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
  if (service) {
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return changed;
}

TEST(WineManager, InstallCheckRepairControlAndUninstall) {
  ManagerFolder folder;
  ASSERT_TRUE(folder.ready());
  rig::RegisteredService watched(rig::UniqueName("gandry-install"), rig::TestServiceCommand());
  ASSERT_TRUE(watched.registered());

  // The sample watches nothing: the service stays stopped, and a start says why it stops.
  Outcome install = folder.Run("install");
  ASSERT_EQ(install.exit_code, 0u) << install.out << install.err;
  EXPECT_THAT(install.out, HasSubstr("Gandry.ini lists no items: the service is not started. "
                                     "Add the first with \"gandry-manager add SERVICE\""));
  EXPECT_EQ(WatchdogState(), DWORD{SERVICE_STOPPED});
  EXPECT_EQ(RegistryText(kServiceKey, "ImagePath"), folder.QuotedCommand());
  EXPECT_EQ(RegistryNumber(kServiceKey, "Start"), DWORD{SERVICE_AUTO_START});
  EXPECT_EQ(RegistryText(kServiceKey, "DisplayName"), "Gandry Service");
  EXPECT_EQ(RegistryText(kSourceKey, "EventMessageFile"), folder.Svc());
  EXPECT_EQ(RegistryNumber(kSourceKey, "TypesSupported"), DWORD{7});
  // Recovery actions where the system takes them; a warning, and no failure, where not.
  if (install.err.empty()) {
    Result<FailureActions> actions = WinServiceRecovery().Query(kWatchdog);
    ASSERT_TRUE(actions);
    EXPECT_THAT(
        actions->restart_delays,
        ElementsAre(std::chrono::minutes(1), std::chrono::minutes(1), std::chrono::minutes(5)));
    EXPECT_EQ(actions->reset_after, std::chrono::hours(24));
    EXPECT_TRUE(actions->on_error_stop);
  } else {
    EXPECT_THAT(install.err, StartsWith("Warning: this system does not take the service's "
                                        "recovery actions"));
  }
  const std::string sample = ReadFileText(folder.Ini());
  EXPECT_THAT(sample, StartsWith("; Gandry.ini"));
  EXPECT_THAT(sample, HasSubstr("\r\n[Services]\r\n"));

  Outcome check = folder.Run("check");
  EXPECT_EQ(check.exit_code, 0u) << check.out;
  EXPECT_THAT(check.out, StartsWith("Note: Gandry.ini lists no items"));
  EXPECT_THAT(check.out, EndsWith("\nNo problems found (1 note(s)).\n"));
  const Outcome start = folder.Run("start");
  EXPECT_EQ(start.exit_code, 1u) << start.out;
  EXPECT_THAT(start.err, HasSubstr("exit code 0 ("));

  ASSERT_EQ(folder.Run("add " + watched.name()).exit_code, 0u);
  const std::string configured = ReadFileText(folder.Ini());
  for (const auto& [command, state] :
       std::vector<std::pair<std::string, DWORD>>{{"start", SERVICE_RUNNING},
                                                  {"pause", SERVICE_PAUSED},
                                                  {"continue", SERVICE_RUNNING},
                                                  {"stop", SERVICE_STOPPED},
                                                  {"RESTART", SERVICE_RUNNING}}) {
    const Outcome control = folder.Run(command);
    EXPECT_EQ(control.exit_code, 0u) << command << ": " << control.err;
    EXPECT_EQ(WatchdogState(), state) << command;
  }

  // Broken by hand: unquoted, with another argument, and the source pointing elsewhere.
  ASSERT_EQ(folder.Run("stop").exit_code, 0u);
  const std::string unquoted = folder.Svc() + " -debug";
  ASSERT_TRUE(BreakRegistration(unquoted));
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSourceKey, "EventMessageFile", REG_SZ,
                            "C:\\Old\\gandry.svc", 19),
            ERROR_SUCCESS);
  check = folder.Run("check");
  EXPECT_EQ(check.exit_code, 1u);
  EXPECT_THAT(check.out, HasSubstr("with its path unquoted"));
  EXPECT_THAT(check.out, HasSubstr("with \"-debug\" instead of \"-service\""));
  EXPECT_THAT(check.out, HasSubstr("takes its texts from C:\\Old\\gandry.svc"));
  EXPECT_THAT(check.out, HasSubstr("3 problems found."));

  // Run again, install repairs all of it and keeps Gandry.ini.
  install = folder.Run("install --start demand --no-start");
  ASSERT_EQ(install.exit_code, 0u) << install.err;
  EXPECT_THAT(install.out, HasSubstr("The service ran \"" + unquoted + "\""));
  EXPECT_EQ(RegistryText(kServiceKey, "ImagePath"), folder.QuotedCommand());
  EXPECT_EQ(RegistryNumber(kServiceKey, "Start"), DWORD{SERVICE_DEMAND_START});
  EXPECT_EQ(RegistryText(kSourceKey, "EventMessageFile"), folder.Svc());
  EXPECT_EQ(ReadFileText(folder.Ini()), configured);
  EXPECT_EQ(WatchdogState(), DWORD{SERVICE_STOPPED});
  // The message file as an administrator may write it: an environment string, other letters.
  std::string expandable = folder.Svc();
  ASSERT_EQ(expandable.substr(0, 2), "C:");
  std::transform(expandable.begin(), expandable.end(), expandable.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  expandable.replace(0, 2, "%SystemDrive%");
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSourceKey, "EventMessageFile", REG_EXPAND_SZ,
                            expandable.c_str(), static_cast<DWORD>(expandable.size() + 1)),
            ERROR_SUCCESS);
  check = folder.Run("check");
  EXPECT_EQ(check.exit_code, 0u) << check.out;
  EXPECT_EQ(check.out, "No problems found.\n");

  const Outcome uninstall = folder.Run("uninstall");
  EXPECT_EQ(uninstall.exit_code, 0u) << uninstall.err;
  EXPECT_THAT(uninstall.out, HasSubstr("Deleted the service"));
  EXPECT_FALSE(KeyExists(kServiceKey));
  EXPECT_FALSE(KeyExists(kSourceKey));
  EXPECT_EQ(ReadFileText(folder.Ini()), configured);
  check = folder.Run("check");
  EXPECT_EQ(check.exit_code, 1u);
  EXPECT_THAT(check.out, HasSubstr("is not installed"));
}

TEST(WineManager, EditsGoThroughTheProfileFunctionsAndKeepTheComments) {
  ManagerFolder folder;
  ASSERT_TRUE(folder.ready());
  rig::RegisteredService watched(rig::UniqueName("gandry-manager"), rig::TestServiceCommand());
  ASSERT_TRUE(watched.registered());
  ASSERT_EQ(folder.Run("install --no-start").exit_code, 0u);

  Outcome add = folder.Run("add " + watched.name() + " --attempts=5 --restart-every 60");
  EXPECT_EQ(add.exit_code, 0u) << add.err;
  EXPECT_EQ(folder.IniValue("Services", "Item1"), watched.name() + "||5|60");
  EXPECT_EQ(folder.Run("add " + watched.name()).exit_code, 1u);
  EXPECT_EQ(folder.Run("add no-such-service-here").exit_code, 1u);
  EXPECT_EQ(folder.Run("add no-such-service-here --force").exit_code, 0u);

  const Outcome list = folder.Run("list");
  EXPECT_EQ(list.exit_code, 0u);
  EXPECT_EQ(list.out, "Item1: " + watched.name() +
                          ", attempts 5, period 60 min\n"
                          "Item2: no-such-service-here, attempts 3, period 0 min\n");

  EXPECT_EQ(folder.Run("set LoopDelayThread 45").exit_code, 0u);
  EXPECT_EQ(folder.Run("set StartDelayThread 121").exit_code, 1u);
  EXPECT_EQ(folder.Run("set WatchMode notify").exit_code, 0u);
  EXPECT_EQ(folder.IniValue("Settings", "LoopDelayThread"), "45");
  EXPECT_EQ(folder.IniValue("Settings", "StartDelayThread"), "180");
  EXPECT_EQ(folder.IniValue("Settings", "WatchMode"), "notify");

  // A health section written and removed whole through the profile functions; check reads it
  // back from the file.
  const std::string health = "health " + watched.name();
  EXPECT_EQ(folder.Run(health + " \"exec:C:\\Program Files\\probe.exe -q\" --grace 0").exit_code,
            0u);
  const std::string section = "Health " + watched.name();
  EXPECT_EQ(folder.IniValue(section.c_str(), "Check"), "exec:C:\\Program Files\\probe.exe -q");
  EXPECT_EQ(folder.IniValue(section.c_str(), "Grace"), "0");
  const Outcome check = folder.Run("check");
  EXPECT_EQ(check.exit_code, 1u);
  EXPECT_THAT(check.out, HasSubstr("Item2=no-such-service-here||3|0: the system has no service"));
  EXPECT_THAT(check.out,
              HasSubstr("[" + section + "]: the program's path has blanks but no quotes"));
  EXPECT_EQ(folder.Run(health + " OFF").exit_code, 0u);
  EXPECT_THAT(ReadFileText(folder.Ini()), Not(HasSubstr("\n[Health ")));

  EXPECT_EQ(folder.Run("remove NO-SUCH-SERVICE-HERE").exit_code, 0u);
  EXPECT_EQ(folder.Run("remove no-such-service-here").exit_code, 1u);
  EXPECT_EQ(folder.IniValue("Services", "Item2"), "");
  const std::string text = ReadFileText(folder.Ini());
  EXPECT_THAT(text, HasSubstr("; Pause of each monitor between two checks of its service [30]."));
  EXPECT_THAT(text, HasSubstr("LoopDelayThread=45\r\n"));
  EXPECT_EQ(folder.Run("status").exit_code, 0u);

  // Managers run at once each take a key of their own under the lock; none is lost.
  std::vector<HANDLE> runs;
  for (int i = 0; i < 4; ++i) {
    runs.push_back(folder.Start("add concurrent-" + std::to_string(i) + " --force --no-reload"));
    ASSERT_NE(runs.back(), nullptr);
  }
  ASSERT_EQ(WaitForMultipleObjects(static_cast<DWORD>(runs.size()), runs.data(), TRUE, 60'000),
            WAIT_OBJECT_0);
  for (HANDLE run : runs) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(run, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(run);
  }
  std::vector<std::string> added;
  for (const std::string key : {"Item2", "Item3", "Item4", "Item5"}) {
    added.push_back(folder.IniValue("Services", key.c_str()));
  }
  std::sort(added.begin(), added.end());
  EXPECT_THAT(added, ElementsAre("concurrent-0||3|0", "concurrent-1||3|0", "concurrent-2||3|0",
                                 "concurrent-3||3|0"));
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(folder.Run("remove concurrent-" + std::to_string(i) + " --no-reload").exit_code, 0u);
  }
  EXPECT_FALSE(ReadFileText(folder.Ini()).empty());

  // A running watchdog is told of each edit.
  ASSERT_EQ(folder.Run("start").exit_code, 0u);
  const Outcome reloaded = folder.Run("set LoopDelayThread 40");
  EXPECT_EQ(reloaded.exit_code, 0u) << reloaded.err;
  EXPECT_THAT(reloaded.out, HasSubstr("Asked the service \"zt-gandry-demon\" to read"));
  EXPECT_EQ(folder.Run("reload").exit_code, 0u);
  EXPECT_EQ(WatchdogState(), DWORD{SERVICE_RUNNING});
  EXPECT_THAT(folder.Run("set LoopDelayThread 41 --no-reload").out, Not(HasSubstr("Asked")));

  const Outcome status = folder.Run("status --json");
  EXPECT_EQ(status.exit_code, 0u) << status.err;
  EXPECT_THAT(status.out, HasSubstr("\"service\": \"" + watched.name() + "\""));
  EXPECT_THAT(status.out, HasSubstr("\"state\": \"stopped\""));
}

TEST(WineManager, BadCommandLinesExitWithTwoHelpAndVersionWithZero) {
  ManagerFolder folder;
  ASSERT_TRUE(folder.ready());
  for (const char* bad : {"", "frobnicate", "install --force", "add", "set LoopDelayThread",
                          "status --json=1", "set Item1 x"}) {
    const Outcome outcome = folder.Run(bad);
    EXPECT_EQ(outcome.exit_code, 2u) << bad;
    EXPECT_THAT(outcome.err, Not(testing::IsEmpty())) << bad;
    EXPECT_EQ(outcome.out, "") << bad;
  }
  EXPECT_THAT(folder.Run("frobnicate").err, HasSubstr("\nUsage: gandry-manager COMMAND"));
  const Outcome help = folder.Run("/?");
  EXPECT_EQ(help.exit_code, 0u);
  EXPECT_THAT(help.out, StartsWith("Usage: gandry-manager COMMAND"));
  const Outcome version = folder.Run("--version");
  EXPECT_EQ(version.exit_code, 0u);
  EXPECT_EQ(version.out, "gandry-manager " GANDRY_VERSION "\n");
}

// The running service's live state reaches an ordinary status: the attempts left drop as the
// starts of a service that cannot start fail, and a stopped watchdog shows none.
TEST(WineManager, StatusShowsTheRunningWatchdogsLiveState) {
  ManagerFolder folder;
  ASSERT_TRUE(folder.ready());
  rig::RegisteredService broken(rig::UniqueName("gandry-broken"), "C:\\no such folder\\x.exe");
  ASSERT_TRUE(broken.registered());
  ASSERT_EQ(folder.Run("install --no-start").exit_code, 0u);
  ASSERT_EQ(folder.Run("add " + broken.name() + " --attempts=5 --no-reload").exit_code, 0u);
  ASSERT_EQ(folder.Run("set LoopDelayThread 5 --no-reload").exit_code, 0u);
  ASSERT_EQ(folder.Run("set StartDelayThread 5 --no-reload").exit_code, 0u);
  ASSERT_EQ(folder.Run("start").exit_code, 0u);

  Outcome status;
  for (int i = 0; i < 120 && status.out.find("failed starts 1,") == std::string::npos; ++i) {
    Sleep(250);
    status = folder.Run("status");
  }
  EXPECT_THAT(status.out,
              HasSubstr("\n  attempts left 4, next restart none, health checks failed in a row 0, "
                        "starts 0 (stopped 0, scheduled 0, health 0), failed starts 1, last "
                        "start none\n"));
  const Outcome json = folder.Run("status --json");
  EXPECT_THAT(json.out, HasSubstr("\"schemaVersion\": 2"));
  EXPECT_THAT(json.out, HasSubstr("\"attemptsLeft\": "));

  ASSERT_EQ(folder.Run("stop").exit_code, 0u);
  status = folder.Run("status");
  EXPECT_THAT(status.out, Not(HasSubstr("attempts left")));
}

// The access control list as the check reads it: a file that everyone may write is reported,
// where the platform keeps the list at all.
TEST(WineManager, WriteAccessNamesOthersWhoMayWrite) {
  ManagerFolder folder;
  ASSERT_TRUE(folder.ready());
  WinWriteAccess access;
  const Result<std::vector<std::string>> before = access.OthersWhoMayWrite(folder.Svc());
  if (!before) {
    GTEST_SKIP() << "no access control list here: error " << before.error().code;
  }
  EXPECT_TRUE(before->empty()) << before->front();

  EXPLICIT_ACCESS_A grant{};
  char everyone[] = "EVERYONE";
  BuildExplicitAccessWithNameA(&grant, everyone, FILE_GENERIC_WRITE, SET_ACCESS, NO_INHERITANCE);
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclA(1, &grant, nullptr, &acl), ERROR_SUCCESS);
  std::string path = folder.Svc();
  const DWORD set = SetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                          nullptr, nullptr, acl, nullptr);
  LocalFree(acl);
  ASSERT_EQ(set, DWORD{ERROR_SUCCESS});
  const Result<std::vector<std::string>> after = access.OthersWhoMayWrite(folder.Svc());
  ASSERT_TRUE(after);
  EXPECT_THAT(*after, ElementsAre(HasSubstr("Everyone")));
}

// status --json converts the system's texts, which arrive in its ANSI code page.
TEST(WineManager, AnsiTextsBecomeUtf8) {
  char ansi[8] = {};
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, 0, L"Caf\u00e9", 4, ansi, sizeof ansi, nullptr,
                                         GetACP() == CP_UTF8 ? nullptr : &lossy);
  ASSERT_GT(length, 0);
  if (lossy) {
    GTEST_SKIP() << "code page " << GetACP() << " has no e with acute";
  }
  WinTextEncoding encoding;
  const Result<std::string> utf8 = encoding.AnsiToUtf8(std::string(ansi, length));
  ASSERT_TRUE(utf8) << utf8.error().code;
  EXPECT_EQ(*utf8, "Caf\xC3\xA9");
  EXPECT_EQ(encoding.AnsiToUtf8("").value_or("x"), "");
}

}  // namespace
}  // namespace gandry
