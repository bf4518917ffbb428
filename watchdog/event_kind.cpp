#include "watchdog/event_kind.h"

#include <cstddef>

namespace gandry {

namespace {

constexpr bool InEnumOrder() {
  for (std::size_t i = 0; i < kEventKinds.size(); ++i) {
    if (static_cast<std::size_t>(kEventKinds[i].kind) != i) {
      return false;
    }
  }
  return true;
}
static_assert(InEnumOrder(), "InfoOf indexes kEventKinds by the kind");

constexpr std::uint32_t kFacilityGandry = 0x2;

}  // namespace

const EventKindInfo& InfoOf(EventKind kind) {
  return kEventKinds[static_cast<std::size_t>(kind)];
}

std::uint32_t MessageIdOf(EventType type, std::uint16_t code) {
  std::uint32_t severity = 0;
  switch (type) {
    case EventType::kInformation:
      severity = 0x1;
      break;
    case EventType::kWarning:
      severity = 0x2;
      break;
    case EventType::kError:
      severity = 0x3;
      break;
  }
  return severity << 30 | kFacilityGandry << 16 | code;
}

}  // namespace gandry
