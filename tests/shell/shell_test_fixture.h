#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/zt_mapfile.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_console.h"
#include "fakes/fake_processes.h"
#include "fakes/fake_shared_memory.h"
#include "fakes/fake_threads.h"
#include "shell/relay_loop.h"
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
  // Threads that stand for the platform's break thread take part in the clock's time.
  FakeThreads threads{clock};
  FakeClock::Participant test_thread{clock};
  Shell shell{console, processes, channel, clock};

  ShellOnFakes() { watchdog.open(); }

  void Write(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      watchdog.append(line);
    }
  }
  // Runs `action` during the pause that follows pass `pass` (counted from 1).
  void DuringPause(int pass, std::function<void()> action) {
    clock.At((pass - 1) * kRelayPause.count(), std::move(action));
  }
  // Runs `body` on a thread of its own, as the platform runs a console event handler.
  void OnAnotherThread(std::function<void()> body) {
    threads.Create(std::move(body), 0).value()->Run();
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
