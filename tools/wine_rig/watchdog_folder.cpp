#include "tools/wine_rig/watchdog_folder.h"

#include <windows.h>

#include "tools/wine_rig/bin_folder.h"

namespace gandry::rig {

WatchdogFolder::WatchdogFolder(const std::string& stem) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + UniqueName(stem) + "\\";
  ready_ = CreateDirectoryA(path_.c_str(), nullptr) &&
           CopyFileA((BinFolder() + "gandry.svc").c_str(), program().c_str(), TRUE);
}

WatchdogFolder::~WatchdogFolder() {
  // A watchdog process on its way out may still hold its program open.
  for (int i = 0; i < 50; ++i) {
    DeleteFileA(ini().c_str());
    DeleteFileA(program().c_str());
    if (RemoveDirectoryA(path_.c_str())) {
      break;
    }
    Sleep(100);
  }
}

std::string WatchdogFolder::CommandLine(const std::string& option) const {
  return "\"" + program() + "\" " + option;
}

std::string WatchdogFolder::Marker() const {
  const std::size_t end = path_.size() - 1;
  const std::size_t begin = path_.find_last_of('\\', end - 1) + 1;
  return path_.substr(begin, end - begin);
}

bool WatchdogFolder::WriteIni(int loop_delay_thread, int loop_delay_service, int start_delay_thread,
                              const std::vector<std::string>& items) const {
  std::string text = "[Settings]\r\nLoopDelayThread=" + std::to_string(loop_delay_thread) +
                     "\r\nLoopDelayService=" + std::to_string(loop_delay_service) +
                     "\r\nStartDelayThread=" + std::to_string(start_delay_thread) +
                     "\r\n[Services]\r\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += "Item" + std::to_string(i + 1) + "=" + items[i] + "\r\n";
  }
  return WriteIniText(text);
}

bool WatchdogFolder::WriteIniText(const std::string& bytes) const {
  HANDLE file = CreateFileA(ini().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::string WatchdogFolder::Read(const char* section, const char* key) const {
  char value[256] = {};
  GetPrivateProfileStringA(section, key, "", value, sizeof value, ini().c_str());
  return value;
}

}  // namespace gandry::rig
