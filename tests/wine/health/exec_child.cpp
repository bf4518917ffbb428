// The program an exec health check runs in the Wine tests:
//   health_exec_child.exe exit N          exits with N
//   health_exec_child.exe spawn PID_FILE  starts a copy of itself that waits for ever, writes
//                                         that copy's process id to PID_FILE, then waits too
//   health_exec_child.exe wait            waits for ever

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "exit") == 0) {
    return std::atoi(argv[2]);
  }
  if (argc == 3 && std::strcmp(argv[1], "spawn") == 0) {
    char own_path[MAX_PATH];
    GetModuleFileNameA(nullptr, own_path, MAX_PATH);
    std::string command = "\"" + std::string(own_path) + "\" wait";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(own_path, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return 2;
    }
    std::FILE* file = std::fopen(argv[2], "w");
    if (file == nullptr) {
      return 2;
    }
    std::fprintf(file, "%lu", info.dwProcessId);
    std::fclose(file);
  }
  Sleep(INFINITE);
  return 0;
}
