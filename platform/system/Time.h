// Time values of the layer: FILETIME and SYSTEMTIME, the tick count and the
// time-zone information.
//
// FILETIME counts 100-nanosecond intervals since 1 January 1601, UTC, split
// into two 32-bit halves; SYSTEMTIME holds calendar fields. Both keep the
// layout and meaning of the system this layer stands in for, so a Windows
// backend passes them through. Everything here is reentrant and may be
// called on any thread. GetTimeZoneInformation reads the process's zone
// (TZ, else the system zone) through the C library, which reads TZ again on
// each call; a caller that changes TZ while other threads read the zone
// races as with any getenv/setenv pair.
#pragma once

#include <cstdint>

#include "platform/core/Handles.h"

namespace qorv::platform {

using WORD = std::uint16_t;
using LONG = std::int32_t;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;  // 1..12
  WORD wDayOfWeek;  // 0 = Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// The two halves as one count, and back.
std::uint64_t FileTimeToUInt64(const FILETIME& time);
FILETIME UInt64ToFileTime(std::uint64_t value);
// Seconds and nanoseconds since 1970 (UTC) as a FILETIME; times before 1601
// become 0.
FILETIME UnixTimeToFileTime(std::int64_t seconds, long nanoseconds);
// The inverse; Seconds may be negative for times before 1970.
void FileTimeToUnixTime(const FILETIME& time, std::int64_t& seconds, long& nanoseconds);

// Calendar fields to a FILETIME and back, without any zone conversion.
// False (last error ERROR_INVALID_PARAMETER) for fields out of range: month
// 1..12, day within the month, hour < 24, minute and second < 60,
// milliseconds < 1000, year 1601..30827. wDayOfWeek is ignored on input and
// filled on output.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

// DOS date and time words (the file-system format with 2-second steps and
// years 1980..2107) to a FILETIME and back, without zone conversion. False
// with ERROR_INVALID_PARAMETER for fields out of range, or for a FILETIME
// outside the DOS years.
BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, FILETIME* fileTime);
BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime);

// Local file time to UTC and back, with the bias in force now (not the one
// at the given date), as the original system does.
BOOL LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* utcTime);
BOOL FileTimeToLocalFileTime(const FILETIME* utcTime, FILETIME* localTime);

// The current time, UTC and local.
void GetSystemTime(SYSTEMTIME* systemTime);
void GetLocalTime(SYSTEMTIME* systemTime);
void GetSystemTimeAsFileTime(FILETIME* fileTime);

// Milliseconds since an arbitrary start, from the monotonic clock; the
// 32-bit form wraps after 49.7 days.
DWORD GetTickCount();
std::uint64_t GetTickCount64();

inline constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
inline constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
inline constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
inline constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

// The zone's names are the C library's abbreviations in UTF-8 ("CET",
// "CEST"), not wide strings. StandardDate and DaylightDate hold this year's
// change-over moments in local time (absolute form, wYear set); both have
// wMonth 0 in zones without daylight saving.
struct TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes; UTC = local + Bias
  char StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;  // always 0
  char DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;  // minutes added to Bias while daylight saving is in force, usually -60
};

// Fills Info and returns TIME_ZONE_ID_UNKNOWN for a zone without daylight
// saving, else TIME_ZONE_ID_STANDARD or TIME_ZONE_ID_DAYLIGHT for the state
// in force now. TIME_ZONE_ID_INVALID when Info is null.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info);

}  // namespace qorv::platform
