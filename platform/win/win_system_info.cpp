#include "platform/win/win_system_info.h"

#include <windows.h>

#include <cstdlib>

namespace gandry {

namespace {

std::optional<std::string> ReadText(LCTYPE type) {
  char buffer[256];
  const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  if (length <= 0) {
    return std::nullopt;
  }
  return std::string(buffer, static_cast<std::size_t>(length - 1));
}

std::optional<int> ReadNumber(LCTYPE type) {
  const std::optional<std::string> text = ReadText(type);
  if (!text.has_value() || text->empty()) {
    return std::nullopt;
  }
  char* end = nullptr;
  const long value = std::strtol(text->c_str(), &end, 10);
  if (*end != '\0') {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

}  // namespace

bool WinSystemInfo::IsNtPlatform() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

LocaleAnswers WinSystemInfo::UserLocale() {
  LocaleAnswers answers;
  answers.short_date = ReadText(LOCALE_SSHORTDATE);
  answers.date_separator = ReadText(LOCALE_SDATE);
  answers.time_separator = ReadText(LOCALE_STIME);
  answers.am = ReadText(LOCALE_S1159);
  answers.pm = ReadText(LOCALE_S2359);
  answers.hour_leading_zero = ReadNumber(LOCALE_ITLZERO);
  answers.time_format = ReadNumber(LOCALE_ITIME);
  answers.marker_first = ReadNumber(LOCALE_ITIMEMARKPOSN);
  return answers;
}

}  // namespace gandry
