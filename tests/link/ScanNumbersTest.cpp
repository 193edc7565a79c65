#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "link/ScanNumbers.h"
#include "link/TimeHelpers.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

namespace {

struct ScanCase {
  const char* line;
  bool found;
  std::vector<double> numbers;
};

class ScanNumbersCases : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanNumbersCases, GivesTheNumbersInOrder) {
  const ScanCase& c = GetParam();
  NumberList list;
  EXPECT_EQ(ScanNumbers(c.line, list), c.found) << c.line;
  ASSERT_EQ(list.Count, static_cast<int>(c.numbers.size())) << c.line;
  for (int i = 0; i < list.Count; ++i) EXPECT_DOUBLE_EQ(list[i + 1], c.numbers[i]) << c.line << " #" << i + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScanNumbersCases,
    ::testing::Values(ScanCase{"", false, {}}, ScanCase{"Tracking satellites", false, {}},
                      ScanCase{"1PPS TI +7.2 ns", true, {1, 7.2}},  // "1PPS" gives 1
                      ScanCase{"12x34", true, {12}},                // the 3 follows a letter
                      ScanCase{"TRACKING: 6", true, {6}},           // colon after a letter starts nothing
                      ScanCase{"+1.234E-08", true, {1.234e-8}}, ScanCase{"-1.5e+3", true, {-1500}},
                      ScanCase{"1,234.5", true, {0}},  // two separators, first a comma
                      ScanCase{"7,5", true, {7.5}}, ScanCase{"12:30", true, {12.5 / 24}},
                      ScanCase{"12:00:00 ; 23:59:59", true, {0.5, (86399.0) / 86400}},
                      ScanCase{"+17 -4 +", true, {17, -4, 0}},       // a lone sign is found but reads 0
                      ScanCase{"---------- x", true, {0}},           // a run of dashes is a token
                      ScanCase{"1-2 +-3 1E5", true, {0, 0, 0}},      // not valid integers
                      ScanCase{"1.5-3 1.2.3.4", true, {0, 0}},       // trailing garbage, three separators
                      ScanCase{"25:00 12:61 :30", true, {0, 0, 0}},  // not times of day
                      ScanCase{"12:30.5 1,2,3", true, {0, 0}},       // mixed time, two commas
                      ScanCase{"\t3;4;5", true, {3, 4, 5}},          // tab and ";" start tokens
                      ScanCase{"\xb0"
                               "5 \xc2\xb0"
                               "5",
                               false,
                               {}},                           // bytes above 127 are no separators
                      ScanCase{"a.5 .5 5.", true, {0.5, 5}},  // "a.5": the dot follows a letter
                      ScanCase{"26.09.1997", true, {35699}}, ScanCase{"29.02.2013 31.4.2013", true, {0, 0}},
                      ScanCase{"99999999999999999999", true, {0}}));  // out of range

TEST(ScanNumbers, KeepsTheFirstFortyOfFortyFive) {
  std::string line;
  for (int i = 1; i <= 45; ++i) line += std::to_string(i) + " ";
  NumberList list;
  ASSERT_TRUE(ScanNumbers(line, list));
  ASSERT_EQ(list.Count, 40);
  EXPECT_EQ(list[1], 1);
  EXPECT_EQ(list[40], 40);
  EXPECT_EQ(list[41], 0);  // beyond the capacity reads 0 rather than out of bounds
  ScanNumbers("7", list);  // a reused list shows nothing of the earlier line
  EXPECT_EQ(list.Count, 1);
  EXPECT_EQ(list[2], 0);
}

TEST(ScanNumbers, ReadsTheSameWhateverTheLocaleSeparator) {
  // The scanner must never depend on the process locale; this checks it stays
  // untouched as well.
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  NumberList list;
  ScanNumbers("3,25 3.25", list);
  EXPECT_EQ(list[1], 3.25);
  EXPECT_EQ(list[2], 3.25);
  EXPECT_EQ(before, std::setlocale(LC_NUMERIC, nullptr));
}

TEST(IsNumberStart, FollowsTheStartRule) {
  const std::string line = "a1 2;3x:";
  std::vector<bool> expected = {false, false, false, true, false, true, false, false};
  for (std::size_t p = 1; p <= line.size(); ++p) EXPECT_EQ(IsNumberStart(line, p), expected[p - 1]) << p;
  EXPECT_FALSE(IsNumberStart(line, 0));
  EXPECT_FALSE(IsNumberStart(line, 99));
}

struct WeekCase {
  int year, month, day;
  const char* tag;
};

class WeekTagCases : public ::testing::TestWithParam<WeekCase> {};

TEST_P(WeekTagCases, IsTheIsoWeek) {
  const WeekCase& c = GetParam();
  // Late in the day as well: only the calendar day counts.
  EXPECT_EQ(WeekTag(EncodeDateTime({c.year, c.month, c.day})), c.tag);
  EXPECT_EQ(WeekTag(EncodeDateTime({c.year, c.month, c.day, 23, 59, 59, 999})), c.tag);
}

INSTANTIATE_TEST_SUITE_P(Dates, WeekTagCases,
                         ::testing::Values(WeekCase{2013, 8, 1, "2013CW31"}, WeekCase{2010, 1, 1, "2009CW53"},
                                           WeekCase{2014, 12, 31, "2015CW01"}, WeekCase{2016, 1, 3, "2015CW53"},
                                           WeekCase{2013, 1, 7, "2013CW02"}, WeekCase{2016, 1, 4, "2016CW01"},
                                           WeekCase{2020, 12, 31, "2020CW53"}, WeekCase{2021, 1, 3, "2020CW53"},
                                           WeekCase{2018, 12, 31, "2019CW01"}, WeekCase{2026, 12, 9, "2026CW50"}));

TEST(UtcNow, ReadsTheClockToTheMillisecond) {
  const TDateTime start = EncodeDateTime({2026, 12, 9, 12, 0, 7, 250});
  VirtualClock clock(start);
  clock.Advance(0.4);  // below a millisecond
  EXPECT_EQ(FormatStamp(UtcNow(clock)), "2026-12-09 12:00:07");
  EXPECT_NEAR((UtcNow(clock) - start) * 86400000.0, 0.0, 1e-3);
}

}  // namespace
