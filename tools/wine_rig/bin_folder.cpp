#include "tools/wine_rig/bin_folder.h"

#include <windows.h>

#include <atomic>

namespace gandry::rig {

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

std::string TestServiceCommand(const std::string& options) {
  std::string command = "\"" + BinFolder() + "test_service.exe\"";
  if (!options.empty()) {
    command += " " + options;
  }
  return command;
}

}  // namespace gandry::rig
