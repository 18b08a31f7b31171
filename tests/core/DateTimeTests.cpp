#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"

namespace qorv::platform {
namespace {

TEST(DateTimeTest, EncodeDateChecksEveryField) {
  struct Row {
    int y, m, d;
    bool valid;
    double expected;
  };
  const Row rows[] = {
      {1899, 12, 30, true, 0},        {1899, 12, 31, true, 1},     {1900, 1, 1, true, 2},
      {2015, 9, 15, true, 42262},     {2000, 2, 29, true, 36585},  {1, 1, 1, true, -693593},
      {9999, 12, 31, true, 2958465},  {1899, 12, 29, true, -1},    {2015, 0, 1, false, 0},
      {2015, 13, 1, false, 0},        {2015, 1, 32, false, 0},     {2015, 1, 0, false, 0},
      {2015, 2, 29, false, 0},        {1900, 2, 29, false, 0},     {2015, 4, 31, false, 0},
      {0, 1, 1, false, 0},            {10000, 1, 1, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.y << "-" << row.m << "-" << row.d);
    TDateTime d = -12345;
    EXPECT_EQ(TryEncodeDate(row.y, row.m, row.d, d), row.valid);
    if (row.valid) {
      EXPECT_EQ(d, row.expected);
      EXPECT_EQ(EncodeDate(row.y, row.m, row.d), row.expected);
      int y, m, dd;
      EXPECT_TRUE(DecodeDate(d, y, m, dd));
      EXPECT_EQ(y, row.y);
      EXPECT_EQ(m, row.m);
      EXPECT_EQ(dd, row.d);
    } else {
      EXPECT_THROW(EncodeDate(row.y, row.m, row.d), EConvertError);
    }
  }
}

TEST(DateTimeTest, EncodeTimeChecksEveryField) {
  struct Row {
    int h, mi, s, ms;
    bool valid;
  };
  const Row rows[] = {
      {0, 0, 0, 0, true},   {23, 59, 59, 999, true}, {12, 0, 0, 0, true},  {24, 0, 0, 0, false},
      {0, 60, 0, 0, false}, {0, 0, 60, 0, false},    {0, 0, 0, 1000, false}, {-1, 0, 0, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.h << ":" << row.mi << ":" << row.s << "." << row.ms);
    TDateTime t = 0;
    EXPECT_EQ(TryEncodeTime(row.h, row.mi, row.s, row.ms, t), row.valid);
    if (row.valid) {
      int h, mi, s, ms;
      DecodeTime(EncodeTime(row.h, row.mi, row.s, row.ms), h, mi, s, ms);
      EXPECT_EQ(h, row.h);
      EXPECT_EQ(mi, row.mi);
      EXPECT_EQ(s, row.s);
      EXPECT_EQ(ms, row.ms);
    } else {
      try {
        EncodeTime(row.h, row.mi, row.s, row.ms);
        ADD_FAILURE();
      } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to time encode");
      }
    }
  }
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
}

TEST(DateTimeTest, NegativeValuesKeepTheDayAndTheTimeApart) {
  int y, m, d, h, mi, s, ms;
  // -1.25: the day is -1 (29 December 1899) and the time 06:00.
  ASSERT_TRUE(DecodeDate(-1.25, y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
  DecodeTime(-1.25, h, mi, s, ms);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(mi, 0);
  // A time that rounds to a whole day moves to the next day at 00:00.
  DecodeTime(0.99999999999, h, mi, s, ms);
  EXPECT_EQ(h * 3600000 + mi * 60000 + s * 1000 + ms, 0);
  ASSERT_TRUE(DecodeDate(0.99999999999, y, m, d));
  EXPECT_EQ(d, 31);
  EXPECT_FALSE(DecodeDate(-700000, y, m, d));
}

TEST(DateTimeTest, DecodeInvertsEncodeAcrossCenturies) {
  // Every 37th day over 2000 years, and the weekday advances by one each day.
  for (int n = -693593; n < 2958465; n += 37 * 97) {
    SCOPED_TRACE(n);
    int y, m, d;
    ASSERT_TRUE(DecodeDate(n, y, m, d));
    EXPECT_EQ(EncodeDate(y, m, d), n);
    EXPECT_EQ(DayOfWeek(n + 1), DayOfWeek(n) % 7 + 1);
  }
  EXPECT_EQ(DayOfWeek(EncodeDate(2015, 9, 15)), 3);  // a Tuesday
  EXPECT_EQ(DayOfWeek(0), 7);                        // 30 December 1899, a Saturday
}

TEST(DateTimeTest, NowIsTodayPlusTheTime) {
  TDateTime today = Date();
  TDateTime now = Now();
  EXPECT_EQ(today, std::trunc(today));
  EXPECT_GE(now, today);
  EXPECT_LT(now, today + 2);  // a midnight may pass between the calls
  EXPECT_GE(Time(), 0.0);
  EXPECT_LT(Time(), 1.0);
  EXPECT_GT(today, EncodeDate(2020, 1, 1));
}

}  // namespace
}  // namespace qorv::platform
