#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "charting/AxisFormat.h"

namespace {

const char* kX10 = "#.00,\"x10\",E+0";

struct NumberCase {
  double value;
  const char* format;
  const char* mantissa;
  const char* literal;
  const char* exponent;
};

class NumberLabelTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberLabelTest, SplitsIntoMantissaLiteralExponent) {
  const NumberCase& c = GetParam();
  NumberLabel label = FormatNumberLabel(c.value, c.format);
  EXPECT_EQ(label.mantissa, c.mantissa);
  EXPECT_EQ(label.literal, c.literal);
  EXPECT_EQ(label.exponent, c.exponent);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, NumberLabelTest,
    ::testing::Values(NumberCase{1.5e-9, kX10, "1.50", "x10", "-9"},
                      NumberCase{-2.345e-10, kX10, "-2.35", "x10", "-10"}, NumberCase{12345, kX10, "1.23", "x10", "+4"},
                      NumberCase{0.0, kX10, "0", "", ""}, NumberCase{1.0, kX10, "1.00", "x10", "+0"},
                      // rounding carries into the next power of ten
                      NumberCase{9.999e-9, kX10, "1.00", "x10", "-8"},
                      NumberCase{-9.9999e3, kX10, "-1.00", "x10", "+4"},
                      NumberCase{1e-9, "0 \"x 10\" E+0", "1", "x 10", "-9"},
                      NumberCase{3.2e5, "0.0E-00", "3.2", "", "05"}, NumberCase{32768, "0", "32768", "", ""},
                      NumberCase{32768.25, "0", "32768", "", ""},
                      NumberCase{32768.25, "0.000000", "32768.250000", "", ""}, NumberCase{-0.4, "0", "0", "", ""},
                      NumberCase{-1.5, "0.0", "-1.5", "", ""}, NumberCase{0.5, "#.00", ".50", "", ""},
                      NumberCase{1.25, "0.##", "1.25", "", ""}, NumberCase{1.5, "0.##", "1.5", "", ""},
                      NumberCase{1234567, "#,##0", "1,234,567", "", ""}, NumberCase{7, "0 \"dB\"", "7 dB", "", ""}));

TEST(NumberPattern, ResolutionOfFixedPatterns) {
  EXPECT_DOUBLE_EQ(PatternResolution(ParseNumberPattern("0")), 1.0);
  EXPECT_DOUBLE_EQ(PatternResolution(ParseNumberPattern("0.000000")), 1e-6);
  EXPECT_DOUBLE_EQ(PatternResolution(ParseNumberPattern(kX10)), 0.0);
}

TEST(NumberLabel, PlainTextShowsExponentAfterCaret) {
  EXPECT_EQ(FormatNumberLabel(1.5e-9, kX10).PlainText(), "1.50x10^-9");
  EXPECT_EQ(FormatNumberLabel(42, "0").PlainText(), "42");
}

struct DateCase {
  DateTimeParts parts;
  const char* format;
  const char* text;
};

class DateLabelTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateLabelTest, Formats) {
  const DateCase& c = GetParam();
  EXPECT_EQ(FormatDateTimeLabel(EncodeDateTime(c.parts), c.format), c.text);
}

INSTANTIATE_TEST_SUITE_P(Patterns, DateLabelTest,
                         ::testing::Values(DateCase{{2026, 3, 7, 9, 5, 0, 0}, "MM-dd hh:mm", "03-07 09:05"},
                                           DateCase{{2026, 12, 31, 23, 59, 59, 0}, "MM-dd hh:mm", "12-31 23:59"},
                                           DateCase{
                                               {2026, 1, 2, 3, 4, 5, 0}, "yyyy-mm-dd hh:nn:ss", "2026-01-02 03:04:05"},
                                           DateCase{{2026, 1, 2, 3, 4, 5, 0}, "d.m.yy h:n", "2.1.26 3:4"},
                                           DateCase{{2026, 6, 15, 12, 30, 0, 0}, "hh:mm 'UTC'", "12:30 UTC"}));

TEST(DateLabel, MinuteRoundsFromSecondFractions) {
  // 10:00:00 as a day fraction is not exact; it must not print 09:59.
  TDateTime t = 46000.0 + 10.0 / 24.0;
  EXPECT_EQ(FormatDateTimeLabel(t, "hh:mm"), "10:00");
}

TEST(DateTimeTickStep, PicksClockSteps) {
  const double minute = 60 * OneSecond;
  EXPECT_DOUBLE_EQ(DateTimeTickStep(1.0, 6), 6 * 60 * minute);  // a day: 4 ticks of 6 h
  EXPECT_DOUBLE_EQ(DateTimeTickStep(10.0, 6), 2.0);             // ten days: every 2 days
  EXPECT_DOUBLE_EQ(DateTimeTickStep(10 * minute, 6), 2 * minute);
  EXPECT_DOUBLE_EQ(DateTimeTickStep(30 * OneSecond, 6), 5 * OneSecond);
  EXPECT_DOUBLE_EQ(DateTimeTickStep(31 * OneSecond, 6), 10 * OneSecond);
  EXPECT_GT(DateTimeTickStep(3650, 6), 500.0);
}

}  // namespace

TEST(TimeAxisTickStep, RoundStepsThatKeepLabelsApartAt841Pixels) {
  const double minute = 60 * OneSecond;
  const double label = 70;  // "12-09 11:14" in a common 9-point face
  struct Case {
    double spanMinutes;
    double stepMinutes;
  };
  const Case cases[] = {{1, 1}, {2, 1}, {10, 1}, {60, 10}, {1440, 180}, {14400, 1440}};
  const std::vector<double> round = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440, 2880, 7200, 14400, 28800};
  for (const Case& c : cases) {
    const double step = TimeAxisTickStep(c.spanMinutes * minute, 841, label);
    EXPECT_NEAR(step / minute, c.stepMinutes, 1e-9) << c.spanMinutes;
    EXPECT_NE(std::find(round.begin(), round.end(), std::round(step / minute)), round.end()) << c.spanMinutes;
    const double pixelsPerStep = step / (c.spanMinutes * minute) * 841;
    EXPECT_GE(pixelsPerStep, 1.2 * label) << c.spanMinutes;
    if (c.spanMinutes >= 4) {
      EXPECT_GE(c.spanMinutes * minute / step, 4.0) << c.spanMinutes;
    }
    // The next smaller round step would crowd the labels.
    const auto at = std::find(round.begin(), round.end(), std::round(step / minute));
    if (at != round.begin()) {
      EXPECT_LT(*(at - 1) / c.spanMinutes * 841, 1.2 * label) << c.spanMinutes;
    }
  }
  // Narrow charts and long ranges still get round steps, never below a minute.
  EXPECT_DOUBLE_EQ(TimeAxisTickStep(10 * minute, 200, label), 5 * minute);
  EXPECT_DOUBLE_EQ(TimeAxisTickStep(30 * OneSecond, 841, label), minute);
  EXPECT_DOUBLE_EQ(TimeAxisTickStep(100.0, 841, label), 10.0);
  EXPECT_DOUBLE_EQ(TimeAxisTickStep(0.0, 841, label), minute);
}
