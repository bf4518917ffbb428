#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/console.h"

namespace gandry {

// A console that records everything. `screen` holds what reached standard output, with each
// attribute change written in as "<A:n>" so tests can see which text had which colour. Input
// comes from the queued events; with none left, a read reports that there is no console.
class FakeConsole final : public Console {
 public:
  bool is_console = true;
  bool write_fails = false;
  std::deque<ConsoleInput> input;

  std::string screen;
  std::string title;
  int writes = 0;
  int reads = 0;
  bool detached = false;
  int handler_installs = 0;
  int handler_removals = 0;
  std::function<void(ConsoleEvent)> handler;

  bool StdoutIsConsole() override { return is_console; }
  bool WriteStdout(std::string_view bytes) override {
    std::lock_guard lock(mutex_);
    ++writes;
    if (write_fails) {
      return false;
    }
    screen.append(bytes);
    return true;
  }
  void SetTextColor(TextColor color) override {
    std::lock_guard lock(mutex_);
    screen += "<A:" + std::to_string(static_cast<int>(color)) + ">";
  }
  void SetTitle(const std::string& text) override { title = text; }
  ConsoleInput ReadInput() override {
    ++reads;
    if (input.empty()) {
      return ConsoleInput::kNone;
    }
    const ConsoleInput next = input.front();
    input.pop_front();
    return next;
  }
  void Detach() override { detached = true; }
  void InstallBreakHandler(std::function<void(ConsoleEvent)> fn) override {
    std::lock_guard lock(handler_list_);
    ++handler_installs;
    handler = std::move(fn);
    installed_ = true;
  }
  // Runs on every removal before the handler list is locked.
  std::function<void()> on_remove;
  void RemoveBreakHandler() override {
    if (on_remove) {
      on_remove();
    }
    std::lock_guard lock(handler_list_);
    ++handler_removals;
    installed_ = false;
  }
  // Delivers a console event as the platform does: the installed handler runs on the calling
  // thread while the lock of the handler list is held, the lock that installing and removing
  // take too. Without a handler the event gets the default handling (counted here).
  void RaiseBreak(ConsoleEvent event) {
    std::lock_guard lock(handler_list_);
    if (installed_) {
      ++handled_breaks;
      handler(event);
    } else {
      ++default_breaks;
    }
  }
  std::atomic<int> handled_breaks{0};
  std::atomic<int> default_breaks{0};

  std::string Screen() {
    std::lock_guard lock(mutex_);
    return screen;
  }

 private:
  std::mutex mutex_;
  std::recursive_mutex handler_list_;
  bool installed_ = false;
};

}  // namespace gandry
