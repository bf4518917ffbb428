#include "common/ini_access.h"

#include <cstdint>

namespace gandry {

namespace {

constexpr std::chrono::milliseconds kBusyPause{50};

// Calls `attempt` until it gives anything but a busy file, or the limit has passed.
template <class Attempt>
auto WhileBusy(Clock& clock, Attempt attempt) {
  const std::int64_t began = clock.TickMs();
  for (;;) {
    auto result = attempt();
    if (result || result.error().kind != ErrorKind::kBusy ||
        clock.TickMs() - began >= std::chrono::milliseconds(kIniBusyLimit).count()) {
      return result;
    }
    clock.Sleep(kBusyPause, nullptr);
  }
}

}  // namespace

Result<std::unique_ptr<IniFile>> ReadIniFile(IniStore& store, Clock& clock,
                                             const std::string& path) {
  return WhileBusy(clock, [&] { return store.Read(path); });
}

Result<std::unique_ptr<IniEdit>> BeginIniEdit(IniStore& store, Clock& clock,
                                              const std::string& path) {
  return WhileBusy(clock, [&] { return store.Edit(path); });
}

Status CommitIniEdit(IniEdit& edit, Clock& clock) {
  return WhileBusy(clock, [&] { return edit.Commit(); });
}

}  // namespace gandry
