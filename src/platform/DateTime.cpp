#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}
}  // namespace

TDateTime FromUnixMilliseconds(long long ms) { return static_cast<double>(UnixEpochDays) + ms / 86400000.0; }

// A date-time in days holds a moment only to a few tenths of a microsecond, so the
// product lands a step off whole seconds; the clock ticks in milliseconds, so round there.
double UnixSeconds(TDateTime t) {
  return std::round((t - static_cast<double>(UnixEpochDays)) * SecondsPerDay * 1000.0) / 1000.0;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  out = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                            UnixEpochDays);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return false;
  out = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
  return true;
}

bool TryEncodeDateTime(const DateTimeParts& p, TDateTime& out) {
  TDateTime d = 0, t = 0;
  if (!TryEncodeDate(p.year, p.month, p.day, d) || !TryEncodeTime(p.hour, p.minute, p.second, p.millisecond, t))
    return false;
  out = d + t;
  return true;
}

TDateTime EncodeDateTime(const DateTimeParts& p) {
  TDateTime out = 0;
  TryEncodeDateTime(p, out);
  return out;
}

DateTimeParts DecodeDateTime(TDateTime t) {
  DateTimeParts p;
  if (!std::isfinite(t)) return p;
  long long ms = std::llround(t * 86400000.0);
  long long days = ms / 86400000;
  long long rest = ms % 86400000;
  if (rest < 0) {
    rest += 86400000;
    days -= 1;
  }
  CivilFromDays(days - UnixEpochDays, p.year, p.month, p.day);
  p.hour = static_cast<int>(rest / 3600000);
  p.minute = static_cast<int>(rest / 60000 % 60);
  p.second = static_cast<int>(rest / 1000 % 60);
  p.millisecond = static_cast<int>(rest % 1000);
  return p;
}

int IsoDayOfWeek(TDateTime t) {
  // 1899-12-30 was a Saturday.
  long long days = static_cast<long long>(std::floor(t));
  int dow = static_cast<int>(((days + 5) % 7 + 7) % 7);  // 0 = Monday
  return dow + 1;
}

std::string FormatStamp(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return buf;
}
