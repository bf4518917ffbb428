#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace gandry {

// The delays of [Settings] in Gandry.ini, in whole seconds. A value outside the accepted range,
// or one that is not a complete integer, stands for the setting's default.
inline constexpr int kDelayMinSeconds = 5;
inline constexpr int kDelayMaxSeconds = 120;

struct DelaySetting {
  const char* key;
  int default_seconds;
};

inline constexpr DelaySetting kLoopDelayThread{"LoopDelayThread", 30};
inline constexpr DelaySetting kLoopDelayService{"LoopDelayService", 20};
inline constexpr DelaySetting kStartDelayThread{"StartDelayThread", 180};
inline constexpr std::array<DelaySetting, 3> kDelaySettings{kLoopDelayThread, kLoopDelayService,
                                                            kStartDelayThread};

// The delay that a parsed setting gives: the value itself when it lies in the accepted range;
// nothing when the text did not parse or the value is out of range (the default applies).
constexpr std::optional<int> AcceptedDelay(std::optional<std::int32_t> parsed) {
  if (!parsed || *parsed < kDelayMinSeconds || *parsed > kDelayMaxSeconds) {
    return std::nullopt;
  }
  return static_cast<int>(*parsed);
}

// The delay the watchdog uses for a setting whose text parsed to `parsed`.
constexpr int DelayInEffect(std::optional<std::int32_t> parsed, const DelaySetting& setting) {
  return AcceptedDelay(parsed).value_or(setting.default_seconds);
}

// Whether the file does not already say the delay in effect, so that the watchdog writes it
// back: the value is missing, empty or no whole number, or a number the watchdog replaces by
// the default. StartDelayThread=180, its default, says what is in effect and stays as it is.
constexpr bool DelayNeedsWriteBack(std::optional<std::int32_t> parsed,
                                   const DelaySetting& setting) {
  return !parsed || *parsed != DelayInEffect(parsed, setting);
}

}  // namespace gandry
