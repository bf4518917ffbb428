// gandry-manager.exe: installs, configures, checks and controls the Gandry watchdog.
#include <iostream>
#include <string>
#include <vector>

#include "manager/run_manager.h"
#include "platform/win/win_clock.h"
#include "platform/win/win_error_text.h"
#include "platform/win/win_event_sources.h"
#include "platform/win/win_files.h"
#include "platform/win/win_ini_store.h"
#include "platform/win/win_process.h"
#include "platform/win/win_service_manager.h"
#include "platform/win/win_service_recovery.h"
#include "platform/win/win_service_setup.h"
#include "platform/win/win_shared_memory.h"
#include "platform/win/win_text_encoding.h"
#include "platform/win/win_write_access.h"

int main(int argc, char** argv) {
  using namespace gandry;
  WinServiceSetup setup;
  WinServiceRecovery recovery;
  WinServiceManager services(ScmAccess::kConnect);
  WinEventSources sources;
  WinIniStore ini;
  WinFiles files;
  WinWriteAccess access;
  WinErrorTexts errors;
  WinTextEncoding encoding;
  WinClock clock;
  WinSharedMemory live;
  ManagerPlatform platform{setup,  recovery, services, sources, ini, files,
                           access, errors,   encoding, clock,   live};
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int code = RunManager(platform, OwnExecutablePath(), arguments, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
