#pragma once

#include <cstdint>

namespace gandry {

// The names under which the product meets Windows and the administrator. The watchdog runs and
// reports under them, the manager registers and looks for them.
inline constexpr char kServiceName[] = "zt-gandry-demon";
inline constexpr char kServiceDisplayName[] = "Gandry Service";
inline constexpr char kServiceDescription[] = "Keeps the services listed in Gandry.ini running.";
inline constexpr char kEventSource[] = "Gandry Service";
// The event types the source is registered for: error, warning and information.
inline constexpr std::uint32_t kEventTypesSupported = 7;

// The files of an installation, which lie side by side in one folder.
inline constexpr char kWatchdogFileName[] = "gandry.svc";
inline constexpr char kIniFileName[] = "Gandry.ini";

}  // namespace gandry
