#include "link/TimeHelpers.h"

#include <cmath>
#include <cstdio>

#include "platform/Clock.h"

TDateTime UtcNow(Clock& clock) {
  const double ms = std::round(clock.UtcNow() * 86400000.0);
  return ms / 86400000.0;
}

namespace {
// Offset by the weekday of 1 January, so that (offset + days since 1 January) div 7
// is the ISO week (0 = last week of the year before).
int NewYearOffset(int year) {
  const int weekday = IsoDayOfWeek(EncodeDateTime({year, 1, 1}));  // 1 = Monday ... 7 = Sunday
  return weekday <= 4 ? weekday + 6 : weekday - 1;
}

std::string Format(int year, int week) {
  char text[32];
  std::snprintf(text, sizeof text, "%04dCW%02d", year, week);
  return text;
}
}  // namespace

std::string WeekTag(TDateTime t) {
  const TDateTime day = std::floor(t);
  const DateTimeParts parts = DecodeDateTime(day);
  const int year = parts.year;
  const int daysSinceNewYear = static_cast<int>(day - EncodeDateTime({year, 1, 1}));
  const int week = (NewYearOffset(year) + daysSinceNewYear) / 7;
  if (week == 0) return WeekTag(EncodeDateTime({year - 1, 12, 31}));
  if (week == 53) {
    const int lastWeekday = IsoDayOfWeek(EncodeDateTime({year, 12, 31}));
    if (lastWeekday == 7 || lastWeekday <= 3) return Format(year + 1, 1);
  }
  return Format(year, week);
}
