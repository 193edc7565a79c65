#pragma once
// Date-time values are days since 1899-12-30 with the time of day as fraction.
#include <cstdint>
#include <string>

using TDateTime = double;

constexpr double SecondsPerDay = 86400.0;
constexpr double OneSecond = 1.0 / SecondsPerDay;
// Offset between TDateTime and the Modified Julian Date (MJD 0 = 1858-11-17).
constexpr double MjdOffset = 15018.0;
// 1970-01-01 as a date-time.
constexpr long long UnixEpochDays = 25569;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Days from civil date; false when the fields do not form a valid date or time.
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out);
bool TryEncodeDateTime(const DateTimeParts& p, TDateTime& out);
TDateTime EncodeDateTime(const DateTimeParts& p);  // fields assumed valid
DateTimeParts DecodeDateTime(TDateTime t);          // rounds to the millisecond
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// 1 = Monday ... 7 = Sunday
int IsoDayOfWeek(TDateTime t);

TDateTime FromUnixMilliseconds(long long ms);
// Unix seconds of a date-time, to the millisecond.
double UnixSeconds(TDateTime t);

// "yyyy-mm-dd hh:nn:ss"
std::string FormatStamp(TDateTime t);
