#pragma once
// Where the clock face puts its twelve tube digits: two per value for year, month,
// day, hour, minute and second. Plain arithmetic, so the layout is tested without a display.
#include <array>

#include "platform/DateTime.h"

constexpr int DigitImageWidth = 45;
constexpr int DigitImageHeight = 64;
constexpr int DigitCellWidth = 46;
constexpr int DigitCellHeight = 65;
constexpr int DigitCellTop = 5;
constexpr int DigitCells = 12;

struct DigitCell {
  int X = 0;      // left edge on the face; the top is DigitCellTop
  int Digit = 0;  // which image, 0 to 9
};

// Left edge of cell n (0 = year tens ... 11 = second ones): pairs of one group 8 px apart,
// the time group 28 px after the date group.
constexpr int DigitCellX(int n) { return (n / 6) * 320 + ((n % 6) / 2) * 100 + (n % 2) * DigitCellWidth; }

// Years above 2000 lose 2000; any value outside 0 to 99 shows modulo 100, so every
// image index stays within 0 to 9.
std::array<DigitCell, DigitCells> DigitPairCells(int year, int month, int day, int hour, int minute, int second);

// The cells of a date-time; milliseconds are ignored.
std::array<DigitCell, DigitCells> DateTimeCells(TDateTime t);

// The width a face needs to show every cell whole.
constexpr int ClockFaceWidth() { return DigitCellX(DigitCells - 1) + DigitCellWidth; }
