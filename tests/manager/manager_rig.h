#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_error_texts.h"
#include "fakes/fake_event_sources.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini_store.h"
#include "fakes/fake_service_manager.h"
#include "fakes/fake_shared_memory.h"
#include "fakes/fake_text_encoding.h"
#include "manager/install.h"
#include "manager/run_manager.h"

namespace gandry {

inline constexpr char kFolder[] = "C:\\Program Files\\Gandry\\";
inline constexpr char kSvc[] = "C:\\Program Files\\Gandry\\gandry.svc";
inline constexpr char kIni[] = "C:\\Program Files\\Gandry\\Gandry.ini";
inline constexpr char kQuotedCommand[] = "\"C:\\Program Files\\Gandry\\gandry.svc\" -service";
inline constexpr char kWatchdog[] = "zt-gandry-demon";

// The manager in "C:\Program Files\Gandry\" beside its gandry.svc, on fakes.
struct ManagerRig {
  FakeServiceManager services;
  FakeEventSources sources;
  FakeIniStore ini;
  FakeFiles files;
  FakeErrorTexts errors;
  FakeTextEncoding encoding;
  FakeClock clock;
  FakeSharedMemory live;
  ManagerPlatform platform{services.setup, services.recovery, services, sources, ini, files, files,
                           errors,         encoding,          clock,    live};
  std::string folder = kFolder;  // where the manager runs
  std::string out;
  std::string err;

  ManagerRig() { files.files[kSvc] = "MZ"; }

  int Run(const std::vector<std::string>& arguments) {
    std::ostringstream o;
    std::ostringstream e;
    const int code = RunManager(platform, folder + "gandry-manager.exe", arguments, o, e);
    out = o.str();
    err = e.str();
    return code;
  }

  // Gandry.ini exists, with these items as Item1, Item2, ...
  void Ini(const std::vector<std::string>& items) {
    files.files[kIni] = "";
    ini.AddLine(kIni, "Settings", "LoopDelayThread", "30");
    ini.AddLine(kIni, "Settings", "LoopDelayService", "20");
    ini.AddLine(kIni, "Settings", "StartDelayThread", "120");
    for (std::size_t i = 0; i < items.size(); ++i) {
      ini.AddLine(kIni, "Services", "Item" + std::to_string(i + 1), items[i]);
    }
  }

  // The watchdog registered as install registers it, with its event source.
  FakeServiceManager::Service& Installed(ServiceState state = ServiceState::kRunning) {
    sources.sources["Gandry Service"] = {kSvc, 7};
    FakeServiceManager::Service& watchdog =
        services.Add(kWatchdog, {"Gandry Service", kQuotedCommand, StartType::kAuto, false}, state);
    watchdog.failure_actions = ExpectedFailureActions();
    return watchdog;
  }
  // A service other than the watchdog.
  FakeServiceManager::Service& Service(const std::string& name,
                                       ServiceState state = ServiceState::kRunning,
                                       StartType start = StartType::kAuto) {
    return services.Add(name, {name, "C:\\svc\\" + name + ".exe", start, false}, state);
  }
};

}  // namespace gandry
