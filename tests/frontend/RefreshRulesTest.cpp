#include <gtest/gtest.h>

#include <string>

#include "frontend/RefreshRules.h"

namespace {

struct FloatCase {
  const char* text;
  bool ok;
  double value;
};

TEST(StrictToFloat, AcceptsOnlyPlainDecimals) {
  const FloatCase cases[] = {
      {"1.5E-09", true, 1.5e-9}, {"  -2.25", true, -2.25}, {"+32768", true, 32768.0}, {"32768.25", true, 32768.25},
      {".5", true, 0.5},         {"7.", true, 7.0},        {"1e3", true, 1000.0},     {"", false, 0},
      {"   ", false, 0},         {"1,5", false, 0},        {"1.5 ", false, 0},        {"1.5s", false, 0},
      {"--1", false, 0},         {"+", false, 0},          {".", false, 0},           {"1e", false, 0},
      {"1E999", false, 0},       {"-1E999", false, 0},     {"inf", false, 0},         {"nan", false, 0},
      {"0x10", false, 0},        {"1.2.3", false, 0},
  };
  for (const FloatCase& c : cases) {
    double v = 99.0;
    EXPECT_EQ(StrictToFloat(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

TEST(StrictToFloat, SurvivesEveryByteAndLongText) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  double v = 0;
  EXPECT_FALSE(StrictToFloat(all, v));
  EXPECT_FALSE(StrictToFloat(std::string(10240, 'x'), v));
  // Too large or too small for a double: not a reading.
  EXPECT_FALSE(StrictToFloat(std::string(10240, '1'), v));
  EXPECT_FALSE(StrictToFloat("0." + std::string(10000, '0') + "1", v));
  EXPECT_TRUE(StrictToFloat("0." + std::string(300, '0') + "1", v));
  EXPECT_DOUBLE_EQ(v, 1e-301);
}

struct IntCase {
  const char* text;
  bool ok;
  std::int32_t value;
};

TEST(StrictToInt32, DecimalAndHexadecimal) {
  const IntCase cases[] = {
      {"12345", true, 12345},
      {"  -7", true, -7},
      {"+8", true, 8},
      {"$1F", true, 31},
      {"x10", true, 16},
      {"X10", true, 16},
      {"0x1f", true, 31},
      {"0XFF", true, 255},
      {"$FFFFFFFF", true, -1},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"99999999999", false, 0},
      {"$100000000", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"0x", false, 0},
      {"-$10", false, 0},
      {"12 ", false, 0},
      {"1.0", false, 0},
      {"1E3", false, 0},
      {"$1G", false, 0},
      {"0x1 2", false, 0},
  };
  for (const IntCase& c : cases) {
    std::int32_t v = 99;
    EXPECT_EQ(StrictToInt32(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(PanelFormats, ScientificAndGeneral) {
  EXPECT_EQ(FormatScientific3(1.5e-9), "1.50E-09");
  EXPECT_EQ(FormatScientific3(-2.345e-10), "-2.35E-10");
  EXPECT_EQ(FormatScientific3(0.0), "0.00E+00");
  EXPECT_EQ(FormatScientific3(1234.0), "1.23E+03");
  EXPECT_EQ(FormatScientific3(2e-123), "2.00E-123");
  EXPECT_EQ(FormatGeneral(12345.0), "12345");
  EXPECT_EQ(FormatGeneral(32768.0), "32768");
  EXPECT_EQ(FormatGeneral(32768.25), "32768.25");
  EXPECT_EQ(FormatGeneral(-0.5), "-0.5");
  EXPECT_EQ(FormatGeneral(1.23456789012345), "1.23456789");
  EXPECT_EQ(FormatGeneral(-4096.0), "-4096");
}

TEST(HoldoverUncertainty, FirstFieldAndMagnitudeRule) {
  const FloatCase cases[] = {
      {"2.0E-06", true, 2e-6}, {"+1.2E-07,+3.4E-07,0,0", true, 1.2e-7},
      {"1", true, 1.0},        {"-1", true, -1.0},
      {"2.5", false, 0},       {"2.5,1E-6", false, 0},
      {",1E-6", false, 0},     {"abc,1", false, 0},
      {"", false, 0},
  };
  for (const FloatCase& c : cases) {
    double v = 0;
    EXPECT_EQ(ConvertHoldoverUncertainty(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

TEST(SmartClock, StatusCodesAreExactAndCaseSensitive) {
  EXPECT_EQ(SmartClockStatusCode("OTH"), 1);
  EXPECT_EQ(SmartClockStatusCode("HOLD"), 2);
  EXPECT_EQ(SmartClockStatusCode("WAIT"), 3);
  EXPECT_EQ(SmartClockStatusCode("REC"), 4);
  EXPECT_EQ(SmartClockStatusCode("LOCK"), 5);
  EXPECT_EQ(SmartClockStatusCode("POW"), 6);
  EXPECT_EQ(SmartClockStatusCode("lock"), 0);
  EXPECT_EQ(SmartClockStatusCode("LOCK "), 0);
  EXPECT_EQ(SmartClockStatusCode("LOCKED"), 0);
  EXPECT_EQ(SmartClockStatusCode(""), 0);
}

TEST(SmartClock, ReportMessagesForEachTransition) {
  using V = std::vector<std::string>;
  EXPECT_EQ(StatusReportMessages(0, 6, "POW"),
            (V{"The last Smartclock Status is undefined", "Starting with status POW"}));
  EXPECT_EQ(StatusReportMessages(0, 0, "BOGUS"),
            (V{"The last Smartclock Status is undefined", "Starting with status BOGUS"}));
  EXPECT_EQ(StatusReportMessages(2, 5, "LOCK"), (V{"The Smartclock Status has changed to LOCK"}));
  EXPECT_EQ(StatusReportMessages(5, 0, "lock"), (V{"The Smartclock Status has changed to lock"}));
  EXPECT_EQ(StatusReportMessages(5, 5, "LOCK"), V{});
}

TEST(ErrorRepeatFilter, LogsEachNewTextOnce) {
  ErrorRepeatFilter filter;
  EXPECT_TRUE(filter.Accept("+0,\"No error\""));
  EXPECT_FALSE(filter.Accept("+0,\"No error\""));
  EXPECT_FALSE(filter.Accept("+0,\"No error\""));
  EXPECT_TRUE(filter.Accept("-113,\"Undefined header\""));
  EXPECT_TRUE(filter.Accept("+0,\"No error\""));
  EXPECT_TRUE(filter.Accept("+0,\"NO ERROR\""));
  EXPECT_EQ(filter.LastErrorText(), "+0,\"NO ERROR\"");
}

TEST(TimeCode, LengthDigitsAndDates) {
  EXPECT_EQ(ParseTimeCode("T2201308011234560").outcome, TimeCode::TooShort);  // 17 characters
  EXPECT_EQ(ParseTimeCode("").outcome, TimeCode::TooShort);

  const TimeCode good = ParseTimeCode("T22013080112345600");  // 18 characters
  ASSERT_EQ(good.outcome, TimeCode::Valid);
  ASSERT_TRUE(good.encodes);
  EXPECT_EQ(FormatStamp(good.time), "2013-08-01 12:34:56");

  EXPECT_EQ(ParseTimeCode("T22013080112345600 +0 extra text").outcome, TimeCode::Valid);
  EXPECT_EQ(ParseTimeCode("T2201308011234x600").outcome, TimeCode::NotNumeric);
  EXPECT_EQ(ParseTimeCode("T22013080112$45600").outcome, TimeCode::NotNumeric);
  EXPECT_EQ(ParseTimeCode("T20x13080112345600").outcome, TimeCode::NotNumeric);

  const TimeCode badDate = ParseTimeCode("T22013023012345600");  // 30 February
  EXPECT_EQ(badDate.outcome, TimeCode::Valid);
  EXPECT_FALSE(badDate.encodes);
  EXPECT_FALSE(ParseTimeCode("T22013080125000000").encodes);  // hour 25
}

}  // namespace
