#include "manager/install.h"

#include <chrono>

#include "common/ascii_text.h"
#include "common/product_names.h"
#include "manager/control.h"
#include "manager/items.h"
#include "manager/sample_ini.h"

namespace gandry {

namespace {

using std::chrono::minutes;

// The start type of a registration by name.
const char* StartTypeOf(const ServiceRegistration& registration) {
  return StartTypeName(registration.start_type, registration.delayed_start);
}

// Tells what a repair changes in an existing registration.
void ReportRepairs(Manager& manager, const ServiceRegistration& was,
                   const ServiceRegistration& wanted) {
  if (was.command_line != wanted.command_line) {
    manager.out << "The service ran \"" << was.command_line << "\"; it now runs \""
                << wanted.command_line << "\".\n";
    // The service manager keeps a running process as it is.
    const Result<ServiceStatus> run = QueryService(manager.platform.services, kServiceName);
    if (run && run->state != ServiceState::kStopped) {
      manager.out << "It runs the old command line until it is restarted: "
                     "\"gandry-manager restart\".\n";
    }
  }
  if (was.start_type != wanted.start_type || was.delayed_start != wanted.delayed_start) {
    manager.out << "Start type " << StartTypeOf(was) << " changed to " << StartTypeOf(wanted)
                << ".\n";
  }
  if (was.display_name != wanted.display_name) {
    manager.out << "Display name \"" << was.display_name << "\" changed to \""
                << wanted.display_name << "\".\n";
  }
}

int RegisterService(Manager& manager, const ServiceRegistration& wanted) {
  ServiceSetup& setup = manager.platform.setup;
  Result<ServiceRegistration> existing = setup.Query(kServiceName);
  if (existing) {
    ReportRepairs(manager, *existing, wanted);
    const Status changed = setup.Change(kServiceName, wanted);
    if (!changed) {
      return manager.Fail("Cannot change the service \"" + std::string(kServiceName) + "\"",
                          changed.error());
    }
    manager.out << "The service \"" << kServiceName << "\" is registered (" << StartTypeOf(wanted)
                << " start).\n";
  } else if (existing.error().kind == ErrorKind::kNoSuchService) {
    const Status created = setup.Create(kServiceName, wanted);
    if (!created) {
      return manager.Fail("Cannot register the service \"" + std::string(kServiceName) + "\"",
                          created.error());
    }
    manager.out << "Registered the service \"" << kServiceName << "\" (" << StartTypeOf(wanted)
                << " start).\n";
  } else {
    return manager.Fail("Cannot look up the service \"" + std::string(kServiceName) + "\"",
                        existing.error());
  }
  const Status described = setup.SetDescription(kServiceName, kServiceDescription);
  if (!described) {
    return manager.Fail("Cannot set the service's description", described.error());
  }
  const Status recovery = manager.platform.recovery.Set(kServiceName, ExpectedFailureActions());
  if (!recovery && recovery.error().kind == ErrorKind::kNotSupported) {
    // The service works without them; only a crash of the watchdog goes unrepaired.
    manager.err << "Warning: this system does not take the service's recovery actions: "
                << manager.Explain(recovery.error()) << '\n';
  } else if (!recovery) {
    return manager.Fail("Cannot set the service's recovery actions", recovery.error());
  }
  return kExitDone;
}

int RegisterEventSource(Manager& manager) {
  const Status registered = manager.platform.sources.Register(
      kEventSource, {manager.watchdog_path, kEventTypesSupported});
  if (!registered) {
    return manager.Fail("Cannot register the event source \"" + std::string(kEventSource) + "\"",
                        registered.error());
  }
  manager.out << "Registered the event source \"" << kEventSource << "\" for "
              << manager.watchdog_path << ".\n";
  return kExitDone;
}

int CreateIni(Manager& manager) {
  Files& files = manager.platform.files;
  if (files.Exists(manager.ini_path)) {
    manager.out << "Kept " << manager.ini_path << ".\n";
    return kExitDone;
  }
  const Status created = files.CreateNew(manager.ini_path, SampleIni());
  if (!created) {
    return manager.Fail("Cannot create " + manager.ini_path, created.error());
  }
  manager.out << "Created " << manager.ini_path
              << " from the sample: add the services to watch with \"gandry-manager add\".\n";
  return kExitDone;
}

}  // namespace

std::string ExpectedCommandLine(const Manager& manager) {
  return "\"" + manager.watchdog_path + "\" -service";
}

FailureActions ExpectedFailureActions() {
  return {{minutes(1), minutes(1), minutes(5)}, std::chrono::hours(24), true};
}

std::string SampleIni() {
  std::string text;
  for (const char c : std::string_view(kSampleIniText)) {
    if (c == '\n') {
      text += '\r';
    }
    text += c;
  }
  return text;
}

int RunInstall(Manager& manager, const ManagerArgs& args) {
  ServiceRegistration wanted{kServiceDisplayName, ExpectedCommandLine(manager), StartType::kAuto,
                             false};
  if (auto start = args.options.find("start"); start != args.options.end()) {
    const std::string type = ToLower(start->second);
    if (type == "delayed-auto") {
      wanted.delayed_start = true;
    } else if (type == "demand") {
      wanted.start_type = StartType::kDemand;
    } else if (type != "auto") {
      manager.err << "--start takes auto, delayed-auto or demand, not \"" << start->second
                  << "\".\n";
      return kExitUsage;
    }
  }
  if (!manager.platform.files.Exists(manager.watchdog_path)) {
    manager.err << "There is no " << kWatchdogFileName << " in " << manager.folder
                << ": keep gandry-manager in the folder of the watchdog.\n";
    return kExitFailed;
  }
  if (const int result = RegisterService(manager, wanted); result != kExitDone) {
    return result;
  }
  for (int (*step)(Manager&) : {RegisterEventSource, CreateIni}) {
    if (const int result = step(manager); result != kExitDone) {
      return result;
    }
  }
  if (args.Has("no-start")) {
    return kExitDone;
  }
  Result<std::unique_ptr<IniFile>> ini = manager.ReadIni();
  if (!ini) {
    return manager.Fail("Cannot read " + manager.ini_path, ini.error());
  }
  const bool no_items = ReadItems(**ini).empty();
  ini->reset();
  if (no_items) {
    // The watchdog would stop at once with "Nothing to do. Exiting.": not a failed install.
    manager.out << "Gandry.ini lists no items: the service is not started. Add the first with "
                   "\"gandry-manager add SERVICE\", then \"gandry-manager start\".\n";
    return kExitDone;
  }
  return ControlAndWait(manager, kServiceName, ServiceCommand::kStart, ServiceState::kRunning);
}

int RunUninstall(Manager& manager) {
  Result<ServiceStatus> state = QueryService(manager.platform.services, kServiceName);
  int result = kExitDone;
  if (!state && state.error().kind == ErrorKind::kNoSuchService) {
    manager.out << "The service \"" << kServiceName << "\" is not installed.\n";
  } else if (!state) {
    return manager.Fail("Cannot query the service \"" + std::string(kServiceName) + "\"",
                        state.error());
  } else {
    if (state->state != ServiceState::kStopped) {
      // Deleted all the same: a service that will not stop goes once it does.
      result = ControlAndWait(manager, kServiceName, ServiceCommand::kStop, ServiceState::kStopped);
    }
    const Status deleted = manager.platform.setup.Delete(kServiceName);
    if (!deleted && deleted.error().kind != ErrorKind::kMarkedForDelete) {
      return manager.Fail("Cannot delete the service \"" + std::string(kServiceName) + "\"",
                          deleted.error());
    }
    // Windows deletes a service at once only when it is stopped and nobody holds it open.
    const Result<ServiceRegistration> left = manager.platform.setup.Query(kServiceName);
    if (!left && left.error().kind == ErrorKind::kNoSuchService) {
      manager.out << "Deleted the service \"" << kServiceName << "\".\n";
    } else {
      manager.out << "Windows has marked the service \"" << kServiceName
                  << "\" for deletion: it goes once it has stopped and no program holds it open "
                     "(close the Services console and the Event Viewer).\n";
    }
  }
  const Status removed = manager.platform.sources.Remove(kEventSource);
  if (!removed) {
    return manager.Fail("Cannot remove the event source \"" + std::string(kEventSource) + "\"",
                        removed.error());
  }
  manager.out << "Removed the event source \"" << kEventSource << "\"; " << manager.ini_path
              << " is kept.\n";
  return result;
}

}  // namespace gandry
