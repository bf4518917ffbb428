#pragma once

#include "platform/console.h"

namespace gandry {

// The process's console and standard handles through kernel32. There is one console per
// process, so one object of this class is enough.
class WinConsole final : public Console {
 public:
  bool StdoutIsConsole() override;
  bool WriteStdout(std::string_view bytes) override;
  void SetTextColor(TextColor color) override;
  void SetTitle(const std::string& title) override;
  ConsoleInput ReadInput() override;
  void Detach() override;
  void InstallBreakHandler(std::function<void(ConsoleEvent)> handler) override;
  void RemoveBreakHandler() override;
};

}  // namespace gandry
