#pragma once
// Pulls the numbers out of a line of free text: integers, decimals with "." or ",",
// times of day and dates; everything between them is ignored. Locale-independent,
// linear in the line length, no allocation.
#include <cstddef>
#include <string_view>

struct NumberList {
  static constexpr int Capacity = 40;
  int Count = 0;
  double Values[Capacity] = {};

  // 1-based, as the numbers stand in the line. Positions beyond Count read 0, so a
  // list reused for several scans never shows a number of an earlier line.
  double operator[](int position) const {
    return position >= 1 && position <= Count && position <= Capacity ? Values[position - 1] : 0.0;
  }
};

// True when the line holds at least one token; the numbers go to `numbers`
// (at most 40, later tokens are ignored). A token whose conversion fails counts
// as found and reads 0.
bool ScanNumbers(std::string_view line, NumberList& numbers);
// Convenience form returning the list; `found` as above.
NumberList ScanNumbers(std::string_view line, bool& found);

// Token start rule at the 1-based position: one of "+,-.:" or a digit, at the
// line start or after a control character, a blank or ";".
bool IsNumberStart(std::string_view line, std::size_t position);

// Converts one token by its separator string (the ",", "." and ":" of the token, in order):
//   none        signed decimal integer (not a valid integer: 0)
//   "."         decimal number, optional sign and exponent
//   ","         decimal number with "," as decimal point
//   ":"         hh:mm as a fraction of a day
//   ":" + any   hh:mm:ss as a fraction of a day
//   "." + any   a date read day first, d.m.yyyy (two-digit years: 00-49 -> 20xx, 50-99 -> 19xx),
//               as days since 1899-12-30. Receivers never send such tokens and no reader
//               relies on them; day first is the order of the program's home locale, and a
//               fixed order keeps the result the same on every machine.
//   "," + any   0
//   three or more separators: 0
// Any failed conversion gives 0.
double ConvertToken(std::string_view token, std::string_view separators);
