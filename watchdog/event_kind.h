#pragma once

#include <array>
#include <cstdint>

#include "platform/event_log.h"

namespace gandry {

// What a message that goes to the event log is about. With [Settings] Events=detailed each kind
// is reported with an identifier and a level of its own, so that a rule can key on them; the
// identifiers are published and never change meaning.
enum class EventKind : std::uint8_t {
  // Information.
  kServiceStarted,       // "Service [%s] successfully started by %d attempt(s)."
  kServiceRestarted,     // a scheduled restart
  kReloaded,             // "Configuration reloaded: ..."
  kRunStarted,           // the start summary, every part of it
  kRunStopped,           // "Self service was successfully stopped."
  kNothingToDo,          // "Nothing to do. Exiting."
  kDependentsRestarted,  // "Dependent services of [%s] were stopped and started again: %s."
  kHealthRestarted,      // "Service [%s] successfully restarted after failed health checks."
  // Warning.
  kRestartRefused,       // "Service [%s] was not restarted: its stop was refused (error %u)."
  kNotWatched,           // "Service [%s] cannot be watched (error %u); it is polled."
  kDeletedPolled,        // "Service [%s] was deleted; it is polled from now on."
  kHealthRestart,        // "Service [%s] failed %d health checks in a row; restarting it."
  kHungLeftAlone,        // a hung service whose process is shared, left alone
  kMetricsNotWritten,    // "Metrics file %s cannot be written (error %u)."
  kConfigNotReloaded,    // the running configuration is kept
  kDependentNotStarted,  // "Dependent service [%s] of [%s] was not started again."
  // Error.
  kAttemptsExpired,   // "Attempts (%d) to start service [%s] is expired."
  kRunTerminated,     // "Self service was terminated."
  kHungProcessEnded,  // "Service [%s] hung in ...; its process %u was ended."
};

// A kind's event: the code Event Viewer shows as the event ID, and its level.
struct EventKindInfo {
  EventKind kind;
  std::uint16_t code;
  EventType type;
};

// Every kind, in the order of the enum. Information codes lie in 101..199, warnings in
// 201..299, errors in 301..399; 1, 2 and 3 are the classic events' own.
inline constexpr std::array<EventKindInfo, 19> kEventKinds{{
    {EventKind::kServiceStarted, 101, EventType::kInformation},
    {EventKind::kServiceRestarted, 102, EventType::kInformation},
    {EventKind::kReloaded, 103, EventType::kInformation},
    {EventKind::kRunStarted, 104, EventType::kInformation},
    {EventKind::kRunStopped, 105, EventType::kInformation},
    {EventKind::kNothingToDo, 106, EventType::kInformation},
    {EventKind::kDependentsRestarted, 107, EventType::kInformation},
    {EventKind::kHealthRestarted, 108, EventType::kInformation},
    {EventKind::kRestartRefused, 201, EventType::kWarning},
    {EventKind::kNotWatched, 202, EventType::kWarning},
    {EventKind::kDeletedPolled, 203, EventType::kWarning},
    {EventKind::kHealthRestart, 204, EventType::kWarning},
    {EventKind::kHungLeftAlone, 205, EventType::kWarning},
    {EventKind::kMetricsNotWritten, 206, EventType::kWarning},
    {EventKind::kConfigNotReloaded, 207, EventType::kWarning},
    {EventKind::kDependentNotStarted, 208, EventType::kWarning},
    {EventKind::kAttemptsExpired, 301, EventType::kError},
    {EventKind::kRunTerminated, 302, EventType::kError},
    {EventKind::kHungProcessEnded, 303, EventType::kError},
}};

// The kind's entry of kEventKinds.
const EventKindInfo& InfoOf(EventKind kind);

// The full message identifier that the message table gives `code` under the level `type`: the
// severity in the top two bits and the product's facility, 2, above the code. ReportEvent takes
// this; Event Viewer shows the code alone.
std::uint32_t MessageIdOf(EventType type, std::uint16_t code);

}  // namespace gandry
