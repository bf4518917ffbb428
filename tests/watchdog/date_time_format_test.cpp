#include "watchdog/date_time_format.h"

#include <gtest/gtest.h>

#include "common/date_time.h"

namespace gandry {
namespace {

double At(int hour, int minute, int second, int millisecond = 0) {
  return EncodeDateTime({2026, 12, 6, hour, minute, second, millisecond});
}

LocaleAnswers German() {
  LocaleAnswers l;
  l.short_date = "dd.MM.yyyy";
  l.date_separator = ".";
  l.time_separator = ":";
  l.am = "";
  l.pm = "";
  l.hour_leading_zero = 1;
  l.time_format = 1;
  l.marker_first = 0;
  return l;
}

LocaleAnswers UnitedStates() {
  LocaleAnswers l;
  l.short_date = "M/d/yyyy";
  l.date_separator = "/";
  l.time_separator = ":";
  l.am = "AM";
  l.pm = "PM";
  l.hour_leading_zero = 0;
  l.time_format = 0;
  l.marker_first = 0;
  return l;
}

TEST(DateTimeFormat, TwentyFourHourClockWithLeadingZero) {
  const DateTimeFormat f = MakeDateTimeFormat(German());
  EXPECT_EQ(FormatDateTime(f, At(16, 7, 13)), "06.12.2026 16:07:13");
  EXPECT_EQ(FormatDateTime(f, At(9, 5, 3)), "06.12.2026 09:05:03");
  EXPECT_EQ(FormatDateTime(f, EncodeDateTime({2027, 1, 1, 23, 59, 59, 0})), "01.01.2027 23:59:59");
}

TEST(DateTimeFormat, TwelveHourClockWithTheMarkerAfterTheTime) {
  const DateTimeFormat f = MakeDateTimeFormat(UnitedStates());
  EXPECT_EQ(FormatDateTime(f, At(16, 7, 13)), "12/6/2026 4:07:13 PM");
  EXPECT_EQ(FormatDateTime(f, At(9, 5, 3)), "12/6/2026 9:05:03 AM");
  EXPECT_EQ(FormatDateTime(f, At(0, 30, 0)), "12/6/2026 12:30:00 AM");
  EXPECT_EQ(FormatDateTime(f, At(12, 0, 0)), "12/6/2026 12:00:00 PM");
  EXPECT_EQ(FormatDateTime(f, At(11, 59, 59)), "12/6/2026 11:59:59 AM");
}

TEST(DateTimeFormat, TwelveHourClockWithTheMarkerFirstAndLeadingZero) {
  LocaleAnswers l = UnitedStates();
  l.short_date = "yyyy/M/d";
  l.am = "\xbf\xc0\xc0\xfc";  // 8-bit strings pass through unchanged
  l.pm = "\xbf\xc0\xc8\xc4";
  l.marker_first = 1;
  l.hour_leading_zero = 1;
  const DateTimeFormat f = MakeDateTimeFormat(l);
  EXPECT_EQ(FormatDateTime(f, At(9, 5, 3)), "2026/12/6 \xbf\xc0\xc0\xfc 09:05:03");
  EXPECT_EQ(FormatDateTime(f, At(21, 5, 3)), "2026/12/6 \xbf\xc0\xc8\xc4 09:05:03");
}

TEST(DateTimeFormat, SlashAndColonPrintTheLocalesSeparators) {
  LocaleAnswers l = German();
  l.short_date = "yyyy/MM/dd";
  l.date_separator = "-";
  l.time_separator = ".";
  const DateTimeFormat f = MakeDateTimeFormat(l);
  EXPECT_EQ(FormatDateTime(f, At(16, 7, 13)), "2026-12-06 16.07.13");
  // Separators written into the pattern itself are copied, as are quoted texts.
  l.short_date = "d-M-yy 'year' \"/\"";
  l.time_separator = "";
  EXPECT_EQ(FormatDateTime(MakeDateTimeFormat(l), At(16, 7, 13)), "6-12-26 year / 160713");
}

TEST(DateTimeFormat, WithoutAnyAnswerTheDefaultsApply) {
  const DateTimeFormat f = MakeDateTimeFormat(LocaleAnswers{});
  EXPECT_EQ(f.short_date_pattern, "m/d/yy");
  EXPECT_EQ(f.long_time_pattern, "h:mm:ss AMPM");
  EXPECT_EQ(FormatDateTime(f, At(16, 7, 13)), "12/6/26 4:07:13 pm");
  EXPECT_EQ(FormatDateTime(f, At(8, 0, 1)), "12/6/26 8:00:01 am");
  // An empty short-date answer counts as none.
  LocaleAnswers l;
  l.short_date = "";
  EXPECT_EQ(FormatDateTime(MakeDateTimeFormat(l), At(16, 7, 13)), "12/6/26 4:07:13 pm");
}

TEST(DateTimeFormat, MidnightToTheSecondShowsTheDateAlone) {
  const DateTimeFormat f = MakeDateTimeFormat(German());
  EXPECT_EQ(FormatDateTime(f, At(0, 0, 0)), "06.12.2026");
  EXPECT_EQ(FormatDateTime(f, At(0, 0, 0, 999)), "06.12.2026");
  EXPECT_EQ(FormatDateTime(f, At(0, 0, 1)), "06.12.2026 00:00:01");
}

TEST(DateTimeFormat, AnMAfterAnHourMeansMinutes) {
  LocaleAnswers l = German();
  l.short_date = "h 'h' m M, m/M";
  EXPECT_EQ(FormatDateTime(MakeDateTimeFormat(l), At(0, 7, 13)), "0 h 7 12, 12.12 00:07:13");
}

TEST(DateTimeFormat, UnknownLettersAndRunsAreCopied) {
  LocaleAnswers l = German();
  l.short_date = "dddd, MMMM d, yyy gg z t n s";
  EXPECT_EQ(FormatDateTime(MakeDateTimeFormat(l), At(16, 7, 13)),
            "dddd, MMMM 6, yyy gg z t n s 16:07:13");
  l.short_date = "dd 'open";
  EXPECT_EQ(FormatDateTime(MakeDateTimeFormat(l), At(16, 7, 13)), "06 open 16:07:13");
  l.short_date = "AMP am/pm ampm";
  EXPECT_EQ(FormatDateTime(MakeDateTimeFormat(l), At(16, 7, 13)), "A12P a12.p12  16:07:13");
}

}  // namespace
}  // namespace gandry
