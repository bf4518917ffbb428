#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/process.h"
#include "platform/win/win_error_codes.h"

namespace gandry {

// The state of one fake child, shared between the test and the Process object the shell holds.
struct FakeChild {
  std::atomic<std::uint32_t> exit_code{kStillActive};
  std::atomic<bool> query_fails{false};
  std::atomic<bool> terminate_fails{false};
  std::atomic<int> terminations{0};
  std::atomic<bool> handle_open{true};
};

// Starts fake children; remembers what it was asked to start and how the process ended.
class FakeProcesses final : public Processes {
 public:
  std::shared_ptr<FakeChild> child = std::make_shared<FakeChild>();
  std::optional<std::uint32_t> start_error;  // set: every start fails with this code
  std::map<std::uint32_t, std::string> error_texts;
  std::function<void()> on_start;  // runs inside Start, as the new child would begin

  std::string started_application;
  std::string started_command_line;
  int starts = 0;
  std::optional<std::uint32_t> exited_with;
  int exits = 0;

  Result<std::unique_ptr<Process>> Start(const std::string& application,
                                         const std::string& command_line) override {
    ++starts;
    if (on_start) {
      on_start();
    }
    started_application = application;
    started_command_line = command_line;
    if (start_error) {
      return WinError(*start_error);
    }
    return std::unique_ptr<Process>(std::make_unique<Handle>(child));
  }
  std::string ErrorText(std::uint32_t error) override {
    auto it = error_texts.find(error);
    return it == error_texts.end() ? std::string() : it->second;
  }
  std::uint32_t CurrentId() override { return 4242; }
  void ExitCurrent(std::uint32_t exit_code) override {
    ++exits;
    if (!exited_with) {
      exited_with = exit_code;
    }
  }

 private:
  class Handle final : public Process {
   public:
    explicit Handle(std::shared_ptr<FakeChild> child) : child_(std::move(child)) {}
    ~Handle() override { child_->handle_open = false; }
    Result<std::uint32_t> ExitCode() override {
      if (child_->query_fails) {
        return WinError(win_error::kInvalidHandle);
      }
      return child_->exit_code.load();
    }
    Status Terminate(std::uint32_t exit_code) override {
      if (child_->terminate_fails) {
        return ErrorOf(ErrorKind::kAccessDenied);
      }
      ++child_->terminations;
      child_->exit_code = exit_code;
      return {};
    }

   private:
    std::shared_ptr<FakeChild> child_;
  };
};

}  // namespace gandry
