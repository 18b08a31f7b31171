// HTTP header dates into local date-time values, under chosen time zones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/core/DateTime.h"
#include "support/auUtils.h"

using namespace qorv;
using platform::EncodeDate;
using platform::EncodeTime;

namespace {

// Switches the process's zone for one test and restores it afterwards.
class ZoneGuard {
public:
  explicit ZoneGuard(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (hadOld_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  std::string old_;
  bool hadOld_ = false;
};

constexpr double kSecond = 1.0 / 86400.0;

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0); }

}  // namespace

TEST(ParseHTTPDate, FormsUnderUniversalTime) {
  ZoneGuard zone("UTC");
  const TDateTime expected = At(1994, 11, 6, 8, 49, 37);
  struct Row {
    const char* text;
    TDateTime value;
  };
  const Row rows[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", expected},   // RFC 1123
      {"Sunday, 06-Nov-94 08:49:37 GMT", expected},  // RFC 850
      {"Sun Nov  6 08:49:37 1994", expected},        // asctime
      {"  sun, 06 nov 1994 08:49:37 gmt \r\n", expected},
      {"06 Nov 1994 08:49:37 +0100", At(1994, 11, 6, 7, 49, 37)},
      {"06 Nov 1994 08:49:37 -0130", At(1994, 11, 6, 10, 19, 37)},
      {"06 Nov 05 08:49:37 GMT", At(2005, 11, 6, 8, 49, 37)},
      {"06 Nov 79 08:49:37 GMT", At(2079, 11, 6, 8, 49, 37)},
      {"06 Nov 80 08:49:37 GMT", At(1980, 11, 6, 8, 49, 37)},
      {"06 Nov 1994 08:49", At(1994, 11, 6, 8, 49, 0)},
      {"06 Nov 1994", At(1994, 11, 6, 0, 0, 0)},
      {"Tue, 29 Feb 2000 23:59:59 GMT", At(2000, 2, 29, 23, 59, 59)},
      {"06 November 1994 08:49:37 GMT", 0},  // a written-out month is no month name
      {"Tue, 29 Feb 2001 10:00:00 GMT", 0},  // no such day
      {"06 Nov 1994 24:00:00 GMT", 0},       // hour out of range
      {"garbage", 0},
      {"", 0},
      {"   \t ", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_NEAR(ParseHTTPDate(r.text), r.value, kSecond / 2);
  }
}

TEST(ParseHTTPDate, ZoneEightHoursAhead) {
  ZoneGuard zone("CST-8");
  EXPECT_NEAR(GetTimeZoneBias(), -480.0 / 1440.0, 1e-12);
  EXPECT_NEAR(ParseHTTPDate("Sun, 06 Nov 1994 08:49:37 GMT"), At(1994, 11, 6, 16, 49, 37), kSecond / 2);
  // The empty text is exactly 0, without the local correction; a text that
  // does not parse is the zero date moved by it.
  EXPECT_EQ(ParseHTTPDate(""), 0.0);
  EXPECT_NEAR(ParseHTTPDate("not a date"), 8.0 / 24.0, kSecond / 2);
}

TEST(ParseZoneOffset, Table) {
  struct Row {
    const char* text;
    double hours;
  };
  const Row rows[] = {
      {"+0100", 1.0},   {"-0130", -1.5}, {"+0000", 0.0},    {"+2359", 23 + 59 / 60.0},
      {"+2400", 0.0},   {"+0060", 0.0},  {"GMT", 0.0},      {"", 0.0},
      {"0100", 0.0},    {"+01:0", 0.0},  {"+0530 extra", 5.5}, {"-1200", -12.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_NEAR(ParseZoneOffset(r.text), r.hours / 24.0, 1e-12);
  }
}

TEST(ParseHTTPDate, TokenHelpers) {
  std::string text = "a, b", token;
  ExtractToken(text, ", ", true, token);
  EXPECT_EQ(token, "a");
  EXPECT_EQ(text, "b");
  ExtractToken(text, ",", false, token);
  EXPECT_EQ(token, "b");
  EXPECT_EQ(text, "b");
  ExtractToken(text, ",", true, token);
  EXPECT_EQ(text, "");
  EXPECT_EQ(DayOfWeekIndex("sat"), 7);
  EXPECT_EQ(DayOfWeekIndex("Saturday"), 0);
  EXPECT_EQ(MonthIndex("Dec"), 12);
  EXPECT_EQ(MonthIndex("December"), 0);
  EXPECT_EQ(StringIndex("b", {"a", "b"}), 1);
  EXPECT_EQ(StringIndex("B", {"a", "b"}), -1);
}
