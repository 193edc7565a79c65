#include <gtest/gtest.h>

#include <string>

#include "windows/ClockFace.h"

namespace {

std::string Digits(const std::array<DigitCell, DigitCells>& cells) {
  std::string s;
  for (int i = 0; i < DigitCells; ++i) {
    if (i > 0 && i % 2 == 0) s += ' ';
    s += static_cast<char>('0' + cells[static_cast<std::size_t>(i)].Digit);
  }
  return s;
}

TEST(ClockFace, CellsSitWhereTheFaceLayoutPutsThem) {
  const int expected[DigitCells] = {0, 46, 100, 146, 200, 246, 320, 366, 420, 466, 520, 566};
  const auto cells = DigitPairCells(2013, 8, 1, 14, 5, 9);
  for (int i = 0; i < DigitCells; ++i) EXPECT_EQ(cells[static_cast<std::size_t>(i)].X, expected[i]) << i;
  EXPECT_EQ(ClockFaceWidth(), 612);
}

TEST(ClockFace, ValuesBecomeTwoDigitsEach) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* shown;
  } cases[] = {
      {2013, 8, 1, 14, 5, 9, "13 08 01 14 05 09"},         {2099, 12, 31, 23, 59, 59, "99 12 31 23 59 59"},
      {2001, 1, 1, 0, 0, 0, "01 01 01 00 00 00"},          {2000, 2, 29, 10, 10, 10, "00 02 29 10 10 10"},
      {2100, 3, 1, 9, 9, 9, "00 03 01 09 09 09"},          {2345, 6, 7, 8, 9, 10, "45 06 07 08 09 10"},
      {1999, 12, 31, 23, 59, 59, "99 12 31 23 59 59"},     {1, 1, 1, 1, 1, 1, "01 01 01 01 01 01"},
      {-7, -1, 100, 123, -100, 1000, "93 99 00 23 00 00"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Digits(DigitPairCells(c.year, c.month, c.day, c.hour, c.minute, c.second)), c.shown) << c.shown;
}

TEST(ClockFace, ADateTimeShowsItsWholeSeconds) {
  EXPECT_EQ(Digits(DateTimeCells(EncodeDateTime({2013, 8, 1, 14, 5, 9, 0}))), "13 08 01 14 05 09");
  EXPECT_EQ(Digits(DateTimeCells(EncodeDateTime({2013, 8, 1, 14, 5, 9, 999}))), "13 08 01 14 05 09");
  EXPECT_EQ(Digits(DateTimeCells(EncodeDateTime({2013, 12, 31, 23, 59, 59, 0}) + OneSecond)), "14 01 01 00 00 00");
}

}  // namespace
