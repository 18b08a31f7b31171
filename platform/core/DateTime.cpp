#include "platform/core/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/core/Exceptions.h"

namespace qorv::platform {

namespace {

// Days from 1 January 0001 (day 1) to 30 December 1899.
constexpr std::int64_t DateDelta = 693594;

struct Stamp {
  std::int64_t date;  // days, 1 = 1 January 0001
  std::int64_t msec;  // 0 .. 86399999
};

Stamp toStamp(TDateTime value) {
  double whole = std::trunc(value);
  auto ms = static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * MSecsPerDay));
  auto day = static_cast<std::int64_t>(whole);
  // Rounding can reach a whole day; that is the neighbouring day at 00:00,
  // which lies away from zero on both sides of the epoch.
  if (ms >= static_cast<std::int64_t>(MSecsPerDay)) {
    ms = 0;
    day += value < 0 ? -1 : 1;
  }
  return {DateDelta + day, ms};
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInAMonth(int year, int month) {
  static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInAMonth(year, month))
    return false;
  std::int64_t d = day;
  for (int m = 1; m < month; ++m) d += DaysInAMonth(year, m);
  std::int64_t y = year - 1;
  d += y * 365 + y / 4 - y / 100 + y / 400;
  date = static_cast<double>(d - DateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& time) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
    return false;
  time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, minute, second, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

bool DecodeDate(TDateTime date, int& year, int& month, int& day) {
  year = month = day = 0;
  if (!std::isfinite(date)) return false;
  Stamp s = toStamp(date);
  std::int64_t t = s.date;
  if (t <= 0 || t > 3652059) return false;  // 3652059 is 31 December 9999
  // Whole 400-, 100-, 4- and 1-year cycles from day 0 of year 1.
  std::int64_t n = t - 1;
  std::int64_t y = 1;
  y += 400 * (n / 146097);
  n %= 146097;
  std::int64_t c = n / 36524;
  if (c == 4) c = 3;
  y += 100 * c;
  n -= c * 36524;
  y += 4 * (n / 1461);
  n %= 1461;
  std::int64_t q = n / 365;
  if (q == 4) q = 3;
  y += q;
  n -= q * 365;
  int m = 1;
  while (n >= DaysInAMonth(static_cast<int>(y), m)) {
    n -= DaysInAMonth(static_cast<int>(y), m);
    ++m;
  }
  year = static_cast<int>(y);
  month = m;
  day = static_cast<int>(n) + 1;
  return true;
}

void DecodeTime(TDateTime time, int& hour, int& minute, int& second, int& msec) {
  hour = minute = second = msec = 0;
  if (!std::isfinite(time)) return;
  std::int64_t ms = toStamp(time).msec;
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime date) {
  std::int64_t d = toStamp(date).date;
  // Day 1 (1 January 0001) was a Monday.
  return static_cast<int>(((d % 7) + 7) % 7) + 1;
}

TDateTime Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  TDateTime d = 0, t = 0;
  TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, d);
  // A leap second (tm_sec 60) is held at 59.
  TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(ms), t);
  return d + t;
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
  TDateTime n = Now();
  return n - std::trunc(n);
}

}  // namespace qorv::platform
