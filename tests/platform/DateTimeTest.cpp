#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/DateTime.h"

TEST(DateTime, EncodeDecodeRoundTrip) {
  struct Case {
    DateTimeParts p;
    double expected;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{2013, 8, 1, 12, 0, 10, 0}, 41487.0 + (12 * 3600 + 10) / 86400.0},
      {{2000, 2, 29, 23, 59, 59, 999}, 36585.0 + 86399.999 / 86400.0},
  };
  for (const auto& c : cases) {
    TDateTime t = -1;
    ASSERT_TRUE(TryEncodeDateTime(c.p, t));
    EXPECT_NEAR(t, c.expected, 1e-9);
    const DateTimeParts d = DecodeDateTime(t);
    EXPECT_EQ(d.year, c.p.year);
    EXPECT_EQ(d.month, c.p.month);
    EXPECT_EQ(d.day, c.p.day);
    EXPECT_EQ(d.hour, c.p.hour);
    EXPECT_EQ(d.minute, c.p.minute);
    EXPECT_EQ(d.second, c.p.second);
    EXPECT_EQ(d.millisecond, c.p.millisecond);
  }
}

TEST(DateTime, RejectsInvalidFields) {
  TDateTime t;
  EXPECT_FALSE(TryEncodeDate(2013, 2, 29, t));
  EXPECT_FALSE(TryEncodeDate(2013, 13, 1, t));
  EXPECT_FALSE(TryEncodeDate(2013, 0, 1, t));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, t));
  EXPECT_FALSE(TryEncodeTime(12, 60, 0, 0, t));
  EXPECT_TRUE(TryEncodeDate(2012, 2, 29, t));
}

TEST(DateTime, StampAndWeekday) {
  const TDateTime t = EncodeDateTime({2013, 8, 1, 12, 0, 10, 400});
  EXPECT_EQ(FormatStamp(t), "2013-08-01 12:00:10");
  EXPECT_EQ(IsoDayOfWeek(t), 4);  // Thursday
  EXPECT_EQ(IsoDayOfWeek(EncodeDateTime({2026, 12, 6, 0, 0, 0, 0})), 7);
}

TEST(VirtualClock, SleepAdvancesTime) {
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 7, 0}));
  clock.Sleep(3000);
  EXPECT_EQ(FormatStamp(clock.UtcNow()), "2013-08-01 12:00:10");
  EXPECT_EQ(clock.SleptMilliseconds(), 3000);
  clock.SetLocalOffsetHours(2);
  EXPECT_EQ(FormatStamp(clock.LocalNow()), "2013-08-01 14:00:10");
}
