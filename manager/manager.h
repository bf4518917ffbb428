#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "common/product_names.h"
#include "platform/clock.h"
#include "platform/error_text.h"
#include "platform/event_source.h"
#include "platform/files.h"
#include "platform/ini_store.h"
#include "platform/result.h"
#include "platform/service_manager.h"
#include "platform/service_recovery.h"
#include "platform/service_setup.h"
#include "platform/shared_memory.h"
#include "platform/text_encoding.h"
#include "platform/write_access.h"

namespace gandry {

// What the manager exits with.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // an operation failed, or check found problems
inline constexpr int kExitUsage = 2;
// Gandry.ini was changed, but the running watchdog could not be made to read it again.
inline constexpr int kExitNotReloaded = 3;

// The system as the manager reaches it.
struct ManagerPlatform {
  ServiceSetup& setup;
  ServiceRecovery& recovery;
  ServiceManager& services;
  EventSources& sources;
  IniStore& ini;
  Files& files;
  WriteAccess& access;
  ErrorTexts& errors;
  TextEncoding& encoding;
  Clock& clock;
  SharedMemory& live;  // the running watchdog's live state, read only
};

// One run of the manager: the platform, the files in the manager's own folder, and where its
// messages (out) and errors (err) go, one line each.
struct Manager {
  Manager(ManagerPlatform& platform_in, const std::string& own_path, std::ostream& out_in,
          std::ostream& err_in);

  // The system's text for its error code `code` without its line end and final full stop.
  std::string SystemText(std::uint32_t code);
  // The same, ending in a full stop; access denied comes with the hint to run elevated.
  std::string Explain(SystemError error);
  // Writes "<what>: <explanation>" to err and returns kExitFailed.
  int Fail(const std::string& what, SystemError error);

  // Gandry.ini opened for reading (a missing one reads as empty), or why it cannot be read.
  Result<std::unique_ptr<IniFile>> ReadIni();
  // An edit of Gandry.ini under its lock, or why it cannot begin.
  Result<std::unique_ptr<IniEdit>> EditIni();

  ManagerPlatform& platform;
  std::string folder;  // with its trailing backslash
  std::string watchdog_path;
  std::string ini_path;
  std::ostream& out;
  std::ostream& err;
};

}  // namespace gandry
