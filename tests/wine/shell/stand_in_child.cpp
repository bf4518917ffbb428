// Stands in for the watchdog beside a copy of gandry.exe. It follows the script in
// "stand_in.txt" beside itself, one command a line:
//   line TEXT   append TEXT to the message channel
//   args        append this process's own command line
//   sleep MS    pause
//   exit N      end with exit code N
//   hang        wait until ended from outside
// Its process id goes to "child.pid" beside it before anything else.
#include <windows.h>

#include <fstream>
#include <string>

#include "common/zt_mapfile.h"
#include "platform/win/win_process.h"
#include "platform/win/win_shared_memory.h"

int main() {
  using namespace gandry;
  const std::string own = OwnExecutablePath();
  const std::string dir = own.substr(0, own.find_last_of('\\') + 1);
  std::ofstream(dir + "child.pid") << GetCurrentProcessId() << "\n";
  // Ctrl+C on the shared console must not end the stand-in: only the shell may. A null
  // handler, not one of our own: under Wine a process whose handler took the event may end with
  // 1 when the shell terminates it with 0 (tests/wine/wine-notes.md).
  SetConsoleCtrlHandler(nullptr, TRUE);

  WinSharedMemory memory;
  MessageChannel channel(memory);
  channel.open();
  std::ifstream script(dir + "stand_in.txt");
  std::string command;
  while (std::getline(script, command)) {
    if (!command.empty() && command.back() == '\r') {
      command.pop_back();
    }
    const std::string word = command.substr(0, command.find(' '));
    const std::string rest = command.size() > word.size() ? command.substr(word.size() + 1) : "";
    if (word == "line") {
      channel.append(rest);
    } else if (word == "args") {
      channel.append(OwnCommandLine());
    } else if (word == "sleep") {
      Sleep(static_cast<DWORD>(std::stoul(rest)));
    } else if (word == "exit") {
      ExitProcess(static_cast<UINT>(std::stoul(rest)));
    } else if (word == "hang") {
      Sleep(INFINITE);
    }
  }
  return 0;
}
