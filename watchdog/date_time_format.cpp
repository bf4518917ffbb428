#include "watchdog/date_time_format.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "common/date_time.h"

namespace gandry {
namespace {

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool StartsWithMarker(std::string_view text, std::size_t pos) {
  static constexpr std::string_view kMarker = "ampm";
  if (text.size() - pos < kMarker.size()) {
    return false;
  }
  for (std::size_t i = 0; i < kMarker.size(); ++i) {
    if (Lower(text[pos + i]) != kMarker[i]) {
      return false;
    }
  }
  return true;
}

// Whether the pattern shows a morning/afternoon marker outside quoted text, which makes its
// hours run from 1 to 12.
bool HasMarker(std::string_view pattern) {
  char quote = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (StartsWithMarker(pattern, i)) {
      return true;
    }
  }
  return false;
}

void AppendNumber(std::string& out, int value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
  out += buffer;
}

// Expands one pattern. Letters are matched in either case; a letter that the form does not
// know, or a run of a known letter of a length it does not know, is copied as it stands.
void AppendPattern(std::string& out, const DateTimeFormat& format, std::string_view pattern,
                   const CivilTime& t) {
  const bool twelve_hour = HasMarker(pattern);
  bool after_hour = false;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '"' || c == '\'') {
      const std::size_t close = pattern.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? pattern.size() : close + 1;
      continue;
    }
    if (c == '/') {
      out += format.date_separator;
      ++i;
      continue;
    }
    if (c == ':') {
      out += format.time_separator;
      ++i;
      continue;
    }
    if (StartsWithMarker(pattern, i)) {
      out += t.hour < 12 ? format.am : format.pm;
      after_hour = false;
      i += 4;
      continue;
    }
    const char letter = Lower(c);
    std::size_t run = 1;
    while (i + run < pattern.size() && Lower(pattern[i + run]) == letter) {
      ++run;
    }
    const std::string_view as_written = pattern.substr(i, run);
    i += run;
    const bool is_letter = std::isalpha(static_cast<unsigned char>(c)) != 0;
    if (letter == 'd' && run <= 2) {
      AppendNumber(out, t.day, static_cast<int>(run));
    } else if (letter == 'm' && run <= 2) {
      // An m that follows an hour (with only separators between) means minutes.
      AppendNumber(out, after_hour ? t.minute : t.month, static_cast<int>(run));
    } else if (letter == 'y' && run == 2) {
      AppendNumber(out, t.year % 100, 2);
    } else if (letter == 'y' && run == 4) {
      AppendNumber(out, t.year, 4);
    } else if (letter == 'h' && run <= 2) {
      int hour = t.hour;
      if (twelve_hour) {
        hour = hour % 12 == 0 ? 12 : hour % 12;
      }
      AppendNumber(out, hour, static_cast<int>(run));
    } else if (letter == 's' && run == 2) {
      AppendNumber(out, t.second, 2);
    } else {
      out.append(as_written);
    }
    if (is_letter) {
      after_hour = letter == 'h';
    }
  }
}

std::string AnswerOr(const std::optional<std::string>& answer, const char* fallback) {
  return answer.has_value() ? *answer : fallback;
}

}  // namespace

DateTimeFormat MakeDateTimeFormat(const LocaleAnswers& locale) {
  DateTimeFormat format;
  format.short_date_pattern =
      locale.short_date.has_value() && !locale.short_date->empty() ? *locale.short_date : "m/d/yy";
  // The long time form is assembled from the locale's clock settings rather than taken from
  // its own time pattern.
  std::string time = locale.hour_leading_zero.value_or(0) != 0 ? "hh" : "h";
  time += ":mm:ss";
  if (locale.time_format.value_or(0) == 0) {
    time = locale.marker_first.value_or(0) != 0 ? "AMPM " + time : time + " AMPM";
  }
  format.long_time_pattern = time;
  format.date_separator = AnswerOr(locale.date_separator, "/");
  format.time_separator = AnswerOr(locale.time_separator, ":");
  format.am = AnswerOr(locale.am, "am");
  format.pm = AnswerOr(locale.pm, "pm");
  return format;
}

std::string FormatDateTime(const DateTimeFormat& format, double date_time) {
  const CivilTime t = DecodeDateTime(date_time);
  std::string out;
  AppendPattern(out, format, format.short_date_pattern, t);
  if (t.hour != 0 || t.minute != 0 || t.second != 0) {
    out += ' ';
    AppendPattern(out, format, format.long_time_pattern, t);
  }
  return out;
}

}  // namespace gandry
