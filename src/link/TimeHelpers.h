#pragma once
// UTC now and the ISO 8601 week tag of the data file names.
#include <string>

#include "platform/DateTime.h"

class Clock;

// The current UTC date and time from the given clock, to the millisecond.
TDateTime UtcNow(Clock& clock);

// "yyyyCWww": ISO 8601 week-numbering year and week of the date's calendar day.
std::string WeekTag(TDateTime t);
