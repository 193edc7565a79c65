#pragma once
// The small rules of the main window's refresh tick: how receiver answers are
// converted and shown, how SmartClock status reports are logged and how the
// time code is taken apart. Locale-independent; nothing here throws on bad text.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateTime.h"

// The chart gap rule of the live points and the loaders alike: two stamps more
// than 15 s apart (either way: a clock set back breaks the line too) start a new,
// unconnected stretch. Stamps are compared in whole milliseconds, so that two
// cycles exactly 15 s apart never read as 15.0000004 s.
inline constexpr double ChartGapSeconds = 15.0;
bool IsChartGap(TDateTime previous, TDateTime t);

// Strict decimal conversion: optional leading blanks, optional sign, digits with
// "." as decimal point, optional exponent; any other character (trailing blanks
// included) fails. A result that does not fit a double fails too.
bool StrictToFloat(std::string_view text, double& value);

// Strict 32-bit integer conversion: optional leading blanks, then either an
// optional sign and decimal digits, or hexadecimal digits introduced by "$",
// "x", "X", "0x" or "0X" (up to 8 of them, read as the 32-bit pattern);
// nothing may follow.
bool StrictToInt32(std::string_view text, std::int32_t& value);

// Scientific notation, 3 significant digits, exponent with sign and at least
// two digits: 1.5e-9 -> "1.50E-09".
std::string FormatScientific3(double value);

// Whole numbers in their shortest form ("12345"), others in the general
// format with up to 10 significant digits ("32768.25").
std::string FormatGeneral(double value);

// The holdover uncertainty answer may carry more comma-separated fields; only
// the first counts, and only a magnitude of at most one second is accepted.
bool ConvertHoldoverUncertainty(std::string_view answer, double& value);

// SmartClock status codes, by exact whole-text comparison.
enum SmartClockStatus : std::uint8_t {
  StatusUndefined = 0,
  StatusOth = 1,
  StatusHold = 2,
  StatusWait = 3,
  StatusRec = 4,
  StatusLock = 5,
  StatusPow = 6
};
std::uint8_t SmartClockStatusCode(std::string_view text);

// The status history lines one report causes, given the last code; the caller
// then makes the new code the last one.
std::vector<std::string> StatusReportMessages(std::uint8_t lastCode, std::uint8_t newCode, const std::string& text);

// Logs a receiver error text only when it differs from the one logged last.
class ErrorRepeatFilter {
 public:
  // True when `text` is to be logged; it then becomes the last one.
  bool Accept(const std::string& text);
  const std::string& LastErrorText() const { return last_; }

 private:
  std::string last_;
};

// The receiver's time code "T2yyyymmddhhnnss...".
struct TimeCode {
  enum Outcome { TooShort, NotNumeric, Valid };
  Outcome outcome = TooShort;
  DateTimeParts parts;   // when Valid: the six fields as read, milliseconds 0
  bool encodes = false;  // when Valid: the fields form a real date and time
  TDateTime time = 0.0;  // when encodes
};
TimeCode ParseTimeCode(std::string_view text);

// The learned horizon between the saves the user causes: once it has changed, the
// settings file is written at most once every ten minutes, so a power cut or a crash
// after weeks of running loses at most ten minutes of it.
class HorizonSaveRule {
 public:
  using Table = std::array<std::uint8_t, 360>;
  static constexpr double IntervalSeconds = 600.0;

  // `saved` is the table as the settings file holds it, at `now`.
  void Start(const Table& saved, TDateTime now);
  // True when `table` is to be written now.
  bool Due(const Table& table, TDateTime now);
  // The outcome of that write; a failed one is tried again an interval later.
  void Done(const Table& table, TDateTime now, bool written);

 private:
  Table saved_{};
  TDateTime last_ = 0.0;
};
