#pragma once
// Axis label texts: floating-point patterns in the style "0", "0.000000",
// "#.00,\"x10\",E+0" (mantissa, a quoted literal and an exponent that is drawn
// raised) and date-time patterns such as "MM-dd hh:mm".
#include <string>

#include "platform/DateTime.h"

struct NumberLabel {
  std::string mantissa;  // "1.50", "-2.00", "32768"
  std::string literal;   // text between mantissa and exponent ("x10"), empty without exponent
  std::string exponent;  // "-9", "+4"; empty when the pattern has none or the value is 0
  bool HasExponent() const { return !exponent.empty(); }
  // One line of plain text, the exponent after "^" (for tips and tests).
  std::string PlainText() const;
};

struct NumberPattern {
  std::string prefix;         // literal text before the digits
  std::string suffix;         // literal text after the digits (no exponent) or before it
  int minIntegerDigits = 1;   // count of '0' before the decimal point (at least 1 shown)
  int integerPlaces = 1;      // '0' and '#' before the decimal point
  int minDecimals = 0;        // '0' after the decimal point
  int maxDecimals = 0;        // '0' and '#' after the decimal point
  bool thousands = false;     // ',' among the integer places
  bool scientific = false;    // an E+ / E- part follows
  bool exponentSign = false;  // E+: always show the sign
  int exponentDigits = 1;
};

NumberPattern ParseNumberPattern(const std::string& format);
NumberLabel FormatNumberLabel(double value, const NumberPattern& pattern);
NumberLabel FormatNumberLabel(double value, const std::string& format);
// Smallest step the pattern can show apart (10^-decimals), 0 for scientific patterns.
double PatternResolution(const NumberPattern& pattern);

// Delphi-style date-time patterns: yyyy yy mm m dd d hh h nn n ss s zzz, where
// "mm"/"m" right after an hour means minutes; quoted text is copied; other
// characters are literal. Letters are not case sensitive.
std::string FormatDateTimeLabel(TDateTime t, const std::string& format);

// A tick step in days for date-time axes: the smallest of the usual clock steps
// (1 s ... 30 days) that puts at most maxTicks ticks over spanDays.
double DateTimeTickStep(double spanDays, int maxTicks);

// The tick step in days of a time axis labelled to the minute ("MM-dd hh:mm"):
// the smallest round step (1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h; 1, 2, 5,
// 10 ... days) at which labels labelWidth pixels wide stand a fifth of a label's width
// apart over pixelWidth pixels showing rangeDays. No step is finer than a
// minute, so no two labels read alike; a range of four minutes or more gets at
// least four labels whenever its width can hold them apart.
double TimeAxisTickStep(double rangeDays, double pixelWidth, double labelWidth);
