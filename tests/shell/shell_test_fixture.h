#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/zt_mapfile.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_console.h"
#include "fakes/fake_processes.h"
#include "fakes/fake_shared_memory.h"
#include "shell/shell.h"

namespace gandry {

// A shell on fakes, with a second channel on the same section that plays the watchdog.
struct ShellOnFakes {
  std::shared_ptr<FakeSharedMemory::Section> section = FakeSharedMemory::NewSection();
  FakeSharedMemory shell_memory{section};
  FakeSharedMemory watchdog_memory{section};
  MessageChannel channel{shell_memory};
  MessageChannel watchdog{watchdog_memory};
  FakeConsole console;
  FakeProcesses processes;
  FakeClock clock;
  Shell shell{console, processes, channel, clock};
  std::vector<std::pair<int, std::function<void()>>> pause_actions;

  ShellOnFakes() {
    watchdog.open();
    clock.SetOnSleep([this](std::chrono::milliseconds) {
      const int pass = clock.sleeps() + 1;
      for (auto& [when, action] : pause_actions) {
        if (when == pass) {
          action();
        }
      }
    });
  }

  void Write(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      watchdog.append(line);
    }
  }
  // Runs `action` during the pause that follows pass `pass` (counted from 1).
  void DuringPause(int pass, std::function<void()> action) {
    pause_actions.emplace_back(pass, std::move(action));
  }
  std::string Screen() { return console.Screen(); }
  static int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
      ++count;
    }
    return count;
  }
};

}  // namespace gandry
