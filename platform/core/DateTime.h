// Date-time values of the class library.
//
// A TDateTime is a double: the whole days since 30 December 1899 and, as
// the fraction, the time of day. Before that day the value is negative; the
// whole part still names the day (truncated towards zero) and the fraction's
// absolute value is the time, so -1.25 is 29 December 1899, 06:00. Values
// are local time unless a caller says otherwise. Every routine is free of
// shared state and may run on any thread (Date, Now and Time read the clock
// and the zone through the reentrant C library calls).
//
// Building a value from calendar fields checks every field: a year outside
// 1..9999, month 0 or 13, a day past the month's end (29 February outside
// leap years), hour 24, minute or second 60 or millisecond 1000 make
// EncodeDate/EncodeTime raise EConvertError and the Try forms return false.
#pragma once

#include <cstdint>

namespace qorv::platform {

using TDateTime = double;

inline constexpr double MSecsPerDay = 86400000.0;

bool IsLeapYear(int year);
// 0 when the month is not 1..12.
int DaysInAMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& date);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& time);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);

// Values before 1 January 0001 or past 31 December 9999 decode to zeros
// (DecodeDate) and DecodeDate returns false for them.
bool DecodeDate(TDateTime date, int& year, int& month, int& day);
void DecodeTime(TDateTime time, int& hour, int& minute, int& second, int& msec);

// 1 for Sunday to 7 for Saturday.
int DayOfWeek(TDateTime date);

// Today at midnight, now, and the time of day alone, all local.
TDateTime Date();
TDateTime Now();
TDateTime Time();

}  // namespace qorv::platform
