#include "common/date_time.h"

#include <gtest/gtest.h>

namespace gandry {
namespace {

TEST(DateTime, EncodesDaysSinceTheEpochWithTheTimeAsFraction) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 12, 0, 0, 0}), 2.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 2, 29, 6, 0, 0, 0}), 36585.25);
  // The day before the epoch at 06:00 is -1.25: the fraction counts forward from midnight.
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
}

TEST(DateTime, DecodeInvertsEncodeToTheMillisecond) {
  const CivilTime samples[] = {{2026, 12, 7, 16, 7, 13, 999},
                               {2024, 2, 29, 23, 59, 59, 999},
                               {1899, 12, 29, 6, 30, 0, 0},
                               {2038, 1, 19, 3, 14, 7, 1},
                               {1999, 12, 31, 0, 0, 0, 0}};
  for (const CivilTime& t : samples) {
    const CivilTime back = DecodeDateTime(EncodeDateTime(t));
    EXPECT_EQ(back.year, t.year);
    EXPECT_EQ(back.month, t.month);
    EXPECT_EQ(back.day, t.day);
    EXPECT_EQ(back.hour, t.hour);
    EXPECT_EQ(back.minute, t.minute);
    EXPECT_EQ(back.second, t.second);
    EXPECT_EQ(back.millisecond, t.millisecond);
  }
}

TEST(DateTime, AFractionThatRoundsToAWholeDayMovesToTheNextDay) {
  const CivilTime t = DecodeDateTime(1.0 - 1e-12);
  EXPECT_EQ(t.day, 31);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.hour, 0);
}

}  // namespace
}  // namespace gandry
