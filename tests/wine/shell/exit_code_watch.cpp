// Watches the gandry.svc beside itself from outside: finds its process by image path, writes
// "watching" once it holds the process, then, when the process has ended, writes its exit
// code in decimal to "child_exit.txt". Exits 1 when the process is not found within 30 s or
// does not end within 60 s.
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <fstream>
#include <string>

namespace {

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string own(path, length);
  return own.substr(0, own.find_last_of('\\') + 1);
}

// The process whose image is `image` (compared without regard to letter case), or null.
HANDLE OpenByImage(const std::string& image) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  HANDLE found = nullptr;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, "gandry.svc") != 0) {
      continue;
    }
    HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) {
      continue;
    }
    char path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (QueryFullProcessImageNameA(process, 0, path, &length) &&
        lstrcmpiA(path, image.c_str()) == 0) {
      found = process;
    } else {
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace

int main() {
  const std::string dir = OwnFolder();
  HANDLE process = nullptr;
  for (int i = 0; i < 300 && !process; ++i) {
    process = OpenByImage(dir + "gandry.svc");
    if (!process) {
      Sleep(100);
    }
  }
  if (!process) {
    return 1;
  }
  std::ofstream{dir + "watching"};
  DWORD code = 0;
  if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) {
    return 1;
  }
  std::ofstream(dir + "child_exit.txt") << code;
  return 0;
}
