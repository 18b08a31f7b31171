#include "platform/system/Time.h"

#include <time.h>

#include <cstring>

#include "platform/system/Errors.h"

namespace qorv::platform {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000ULL;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

bool isLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Minutes by which UTC is ahead of local time now (UTC = local + bias).
LONG currentBias() {
  tzset();
  const time_t now = time(nullptr);
  struct tm local {};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<LONG>(-local.tm_gmtoff / 60);
}

void fillSystemTime(const struct tm& t, WORD ms, SYSTEMTIME& out) {
  out.wYear = static_cast<WORD>(t.tm_year + 1900);
  out.wMonth = static_cast<WORD>(t.tm_mon + 1);
  out.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  out.wDay = static_cast<WORD>(t.tm_mday);
  out.wHour = static_cast<WORD>(t.tm_hour);
  out.wMinute = static_cast<WORD>(t.tm_min);
  out.wSecond = static_cast<WORD>(t.tm_sec);
  out.wMilliseconds = ms;
}

}  // namespace

std::uint64_t FileTimeToUInt64(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME UInt64ToFileTime(std::uint64_t value) {
  return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFU), static_cast<DWORD>(value >> 32)};
}

FILETIME UnixTimeToFileTime(std::int64_t seconds, long nanoseconds) {
  const std::int64_t since1601 = seconds + kEpochDifference;
  if (since1601 < 0) return FILETIME{0, 0};
  return UInt64ToFileTime(static_cast<std::uint64_t>(since1601) * kTicksPerSecond +
                          static_cast<std::uint64_t>(nanoseconds / 100));
}

void FileTimeToUnixTime(const FILETIME& time, std::int64_t& seconds, long& nanoseconds) {
  const std::uint64_t ticks = FileTimeToUInt64(time);
  seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDifference;
  nanoseconds = static_cast<long>(ticks % kTicksPerSecond) * 100;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
  if (st == nullptr || ft == nullptr || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 ||
      st->wMonth > 12 || st->wDay < 1 || st->wDay > daysInMonth(st->wYear, st->wMonth) ||
      st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::int64_t days = daysFromCivil(st->wYear, st->wMonth, st->wDay);
  const std::int64_t seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
  *ft = UnixTimeToFileTime(seconds, static_cast<long>(st->wMilliseconds) * 1000000L);
  return 1;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) {
  if (ft == nullptr || st == nullptr || (ft->dwHighDateTime & 0x80000000U) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::uint64_t ticks = FileTimeToUInt64(*ft);
  const std::uint64_t totalSeconds = ticks / kTicksPerSecond;
  const auto days = static_cast<std::int64_t>(totalSeconds / 86400) - kEpochDifference / 86400;
  const auto secondOfDay = static_cast<unsigned>(totalSeconds % 86400);
  std::int64_t y = 0;
  unsigned m = 0;
  unsigned d = 0;
  civilFromDays(days, y, m, d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  // 1970-01-01 was a Thursday.
  st->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);
  st->wHour = static_cast<WORD>(secondOfDay / 3600);
  st->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
  st->wSecond = static_cast<WORD>(secondOfDay % 60);
  st->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
  return 1;
}

BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, FILETIME* ft) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(1980 + (fatDate >> 9));
  st.wMonth = static_cast<WORD>((fatDate >> 5) & 0x0F);
  st.wDay = static_cast<WORD>(fatDate & 0x1F);
  st.wHour = static_cast<WORD>(fatTime >> 11);
  st.wMinute = static_cast<WORD>((fatTime >> 5) & 0x3F);
  st.wSecond = static_cast<WORD>((fatTime & 0x1F) * 2);
  return SystemTimeToFileTime(&st, ft);
}

BOOL FileTimeToDosDateTime(const FILETIME* ft, WORD* fatDate, WORD* fatTime) {
  SYSTEMTIME st{};
  if (fatDate == nullptr || fatTime == nullptr || !FileTimeToSystemTime(ft, &st) || st.wYear < 1980 ||
      st.wYear > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  *fatDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  *fatTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return 1;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localTime, FILETIME* utcTime) {
  if (localTime == nullptr || utcTime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto shift = static_cast<std::int64_t>(currentBias()) * 60 * static_cast<std::int64_t>(kTicksPerSecond);
  *utcTime = UInt64ToFileTime(static_cast<std::uint64_t>(static_cast<std::int64_t>(FileTimeToUInt64(*localTime)) + shift));
  return 1;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utcTime, FILETIME* localTime) {
  if (localTime == nullptr || utcTime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto shift = static_cast<std::int64_t>(currentBias()) * 60 * static_cast<std::int64_t>(kTicksPerSecond);
  *localTime = UInt64ToFileTime(static_cast<std::uint64_t>(static_cast<std::int64_t>(FileTimeToUInt64(*utcTime)) - shift));
  return 1;
}

void GetSystemTimeAsFileTime(FILETIME* fileTime) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  *fileTime = UnixTimeToFileTime(ts.tv_sec, ts.tv_nsec);
}

void GetSystemTime(SYSTEMTIME* systemTime) {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  FileTimeToSystemTime(&ft, systemTime);
}

void GetLocalTime(SYSTEMTIME* systemTime) {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  tzset();
  struct tm local {};
  localtime_r(&ts.tv_sec, &local);
  fillSystemTime(local, static_cast<WORD>(ts.tv_nsec / 1000000), *systemTime);
}

std::uint64_t GetTickCount64() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000U + static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64() & 0xFFFFFFFFU); }

namespace {

struct ZoneState {
  long offset;  // seconds east of UTC
  bool dst;
};

ZoneState zoneAt(time_t when) {
  struct tm t {};
  localtime_r(&when, &t);
  return ZoneState{t.tm_gmtoff, t.tm_isdst > 0};
}

// Finds the moment in (from, to] at which the zone leaves the state it has
// at From, to the second, and gives the local calendar fields just after it.
bool findChange(time_t from, time_t to, SYSTEMTIME& out) {
  const ZoneState start = zoneAt(from);
  const ZoneState end = zoneAt(to);
  if (start.offset == end.offset && start.dst == end.dst) return false;
  while (to - from > 1) {
    const time_t mid = from + (to - from) / 2;
    const ZoneState s = zoneAt(mid);
    if (s.offset == start.offset && s.dst == start.dst) from = mid;
    else to = mid;
  }
  // The local wall-clock time just before the change, as the original
  // system states change-over moments.
  const time_t before = to - 1;
  struct tm t {};
  localtime_r(&before, &t);
  fillSystemTime(t, 0, out);
  return true;
}

void copyName(char (&target)[32], const char* name) {
  std::memset(target, 0, sizeof target);
  if (name != nullptr) std::strncpy(target, name, sizeof target - 1);
}

}  // namespace

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  std::memset(info, 0, sizeof *info);
  tzset();
  const time_t now = time(nullptr);
  struct tm nowLocal {};
  localtime_r(&now, &nowLocal);

  // Compare mid-January with mid-July of this year: one of them is in
  // standard time in either hemisphere when the zone has daylight saving.
  struct tm probe {};
  probe.tm_year = nowLocal.tm_year;
  probe.tm_mday = 15;
  probe.tm_hour = 12;
  probe.tm_isdst = -1;
  probe.tm_mon = 0;
  struct tm january = probe;
  const time_t janTime = mktime(&january);
  probe.tm_mon = 6;
  struct tm july = probe;
  const time_t julTime = mktime(&july);

  const bool hasDst = january.tm_isdst != july.tm_isdst || january.tm_gmtoff != july.tm_gmtoff;
  const struct tm* standard = &january;
  const struct tm* daylight = &july;
  if (hasDst) {
    if (january.tm_isdst > 0 && july.tm_isdst <= 0) {
      standard = &july;
      daylight = &january;
    } else if (january.tm_isdst == july.tm_isdst && july.tm_gmtoff < january.tm_gmtoff) {
      standard = &july;
      daylight = &january;
    }
  }

  info->Bias = static_cast<LONG>(-standard->tm_gmtoff / 60);
  info->StandardBias = 0;
  copyName(info->StandardName, standard->tm_zone);
  if (!hasDst) {
    copyName(info->DaylightName, standard->tm_zone);
    info->DaylightBias = 0;
    return TIME_ZONE_ID_UNKNOWN;
  }
  copyName(info->DaylightName, daylight->tm_zone);
  info->DaylightBias = static_cast<LONG>(-(daylight->tm_gmtoff - standard->tm_gmtoff) / 60);

  // This year's change-overs: one between January and July, one after July
  // (or before January, for zones whose daylight time spans the new year).
  struct tm yearStart = probe;
  yearStart.tm_mon = 0;
  yearStart.tm_mday = 1;
  yearStart.tm_hour = 0;
  const time_t startTime = mktime(&yearStart);
  struct tm yearEnd = probe;
  yearEnd.tm_mon = 11;
  yearEnd.tm_mday = 31;
  yearEnd.tm_hour = 23;
  yearEnd.tm_min = 59;
  const time_t endTime = mktime(&yearEnd);
  SYSTEMTIME first{};
  SYSTEMTIME second{};
  const bool haveFirst = findChange(janTime, julTime, first);
  const bool haveSecond = findChange(julTime, endTime, second) || findChange(startTime, janTime, second);
  const bool januaryIsStandard = standard == &january;
  if (haveFirst) (januaryIsStandard ? info->DaylightDate : info->StandardDate) = first;
  if (haveSecond) (januaryIsStandard ? info->StandardDate : info->DaylightDate) = second;

  return nowLocal.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // namespace qorv::platform
