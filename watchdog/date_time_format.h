#pragma once

#include <string>

#include "platform/system_info.h"

namespace gandry {

// The default date-time form, fixed once at program start.
struct DateTimeFormat {
  std::string short_date_pattern;
  std::string long_time_pattern;
  std::string date_separator;
  std::string time_separator;
  std::string am;
  std::string pm;
};

DateTimeFormat MakeDateTimeFormat(const LocaleAnswers& locale);

// The short date, then (unless the time is exactly midnight to the second) a blank and the
// long time. `date_time` counts days since 30 December 1899.
std::string FormatDateTime(const DateTimeFormat& format, double date_time);

}  // namespace gandry
