#pragma once

#include <optional>
#include <string>

namespace gandry {

// What the user's locale answers for the fields the timestamp needs; an empty optional is a
// field the locale gave no answer for.
struct LocaleAnswers {
  std::optional<std::string> short_date;      // LOCALE_SSHORTDATE
  std::optional<std::string> date_separator;  // LOCALE_SDATE
  std::optional<std::string> time_separator;  // LOCALE_STIME
  std::optional<std::string> am;              // LOCALE_S1159
  std::optional<std::string> pm;              // LOCALE_S2359
  std::optional<int> hour_leading_zero;       // LOCALE_ITLZERO
  std::optional<int> time_format;             // LOCALE_ITIME: 0 12-hour, 1 24-hour
  std::optional<int> marker_first;            // LOCALE_ITIMEMARKPOSN
};

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
