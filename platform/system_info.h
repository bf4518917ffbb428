#pragma once

#include <optional>
#include <string>

namespace gandry {

// What the user's locale answers for the fields a timestamp needs; an empty optional is a
// field the locale gave no answer for.
struct LocaleAnswers {
  std::optional<std::string> short_date;  // the short date pattern
  std::optional<std::string> date_separator;
  std::optional<std::string> time_separator;
  std::optional<std::string> am;         // the morning marker
  std::optional<std::string> pm;         // the afternoon marker
  std::optional<int> hour_leading_zero;  // 1: hours below 10 take a leading zero
  std::optional<int> time_format;        // 0 12-hour, 1 24-hour
  std::optional<int> marker_first;       // 1: the marker comes before the time
};

// Facts about the system the process runs on.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // Whether the system is of the NT family.
  virtual bool IsNtPlatform() = 0;
  virtual LocaleAnswers UserLocale() = 0;
};

}  // namespace gandry
