#include "windows/ClockFace.h"

namespace {
int TwoDigits(int v) {
  if (v >= 0 && v <= 99) return v;
  const int r = v % 100;
  return r < 0 ? r + 100 : r;
}
}  // namespace

std::array<DigitCell, DigitCells> DigitPairCells(int year, int month, int day, int hour, int minute, int second) {
  if (year > 2000) year -= 2000;
  const int values[6] = {year, month, day, hour, minute, second};
  std::array<DigitCell, DigitCells> cells{};
  for (int v = 0; v < 6; ++v) {
    const int value = TwoDigits(values[v]);
    cells[2 * v] = {DigitCellX(2 * v), value > 9 ? value / 10 : 0};
    cells[2 * v + 1] = {DigitCellX(2 * v + 1), value % 10};
  }
  return cells;
}

std::array<DigitCell, DigitCells> DateTimeCells(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  return DigitPairCells(p.year, p.month, p.day, p.hour, p.minute, p.second);
}
