#include "frontend/RefreshRules.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::size_t SkipBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

void UpperExponent(char* begin, char* end) {
  for (char* p = begin; p != end; ++p)
    if (*p == 'e') *p = 'E';
}

}  // namespace

bool StrictToFloat(std::string_view text, double& value) {
  value = 0.0;
  std::size_t i = SkipBlanks(text);
  const std::size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t numberStart = i;
  std::size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  // from_chars takes no sign of its own here; the pattern is already checked.
  double parsed = 0.0;
  const char* first = text.data() + numberStart;
  const char* last = text.data() + n;
  const auto [end, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
  if (ec != std::errc() || end != last || !std::isfinite(parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

bool StrictToInt32(std::string_view text, std::int32_t& value) {
  value = 0;
  std::size_t i = SkipBlanks(text);
  const std::size_t n = text.size();
  if (i == n) return false;

  std::size_t hexStart = std::string_view::npos;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
    hexStart = i + 1;
  } else if (text[i] == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hexStart = i + 2;
  }
  if (hexStart != std::string_view::npos) {
    std::uint64_t acc = 0;
    std::size_t count = 0;
    for (std::size_t j = hexStart; j < n; ++j) {
      const int d = HexDigit(text[j]);
      if (d < 0) return false;
      acc = acc * 16 + static_cast<unsigned>(d);
      if (acc > 0xFFFFFFFFull) return false;
      ++count;
    }
    if (count == 0) return false;
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(acc));
    return true;
  }

  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  if (i == n) return false;
  std::int64_t acc = 0;
  for (; i < n; ++i) {
    if (!IsDigit(text[i])) return false;
    acc = acc * 10 + (text[i] - '0');
    if (acc > 2147483648LL) return false;
  }
  if (negative) acc = -acc;
  if (acc > 2147483647LL) return false;
  value = static_cast<std::int32_t>(acc);
  return true;
}

std::string FormatScientific3(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 2);
  if (ec != std::errc()) return {};
  UpperExponent(buffer, end);
  return std::string(buffer, end);
}

std::string FormatGeneral(double value) {
  char buffer[64];
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
    return ec == std::errc() ? std::string(buffer, end) : std::string();
  }
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
  if (ec != std::errc()) return {};
  UpperExponent(buffer, end);
  return std::string(buffer, end);
}

bool ConvertHoldoverUncertainty(std::string_view answer, double& value) {
  const std::size_t comma = answer.find(',');
  if (comma != std::string_view::npos) answer = answer.substr(0, comma);
  return StrictToFloat(answer, value) && std::fabs(value) <= 1.0;
}

std::uint8_t SmartClockStatusCode(std::string_view text) {
  static constexpr std::string_view names[] = {"OTH", "HOLD", "WAIT", "REC", "LOCK", "POW"};
  for (std::uint8_t i = 0; i < 6; ++i)
    if (text == names[i]) return static_cast<std::uint8_t>(i + 1);
  return StatusUndefined;
}

std::vector<std::string> StatusReportMessages(std::uint8_t lastCode, std::uint8_t newCode, const std::string& text) {
  if (lastCode == StatusUndefined) return {"The last Smartclock Status is undefined", "Starting with status " + text};
  if (lastCode != newCode) return {"The Smartclock Status has changed to " + text};
  return {};
}

bool ErrorRepeatFilter::Accept(const std::string& text) {
  if (text == last_) return false;
  last_ = text;
  return true;
}

namespace {
// Characters first..last of the time code, 1-based, as a decimal number.
bool Field(std::string_view text, std::size_t first, std::size_t last, int& out) {
  std::int32_t v = 0;
  const std::string_view part = text.substr(first - 1, last - first + 1);
  if (part.find_first_of("$xX") != std::string_view::npos) return false;  // decimal only, no hexadecimal
  if (!StrictToInt32(part, v)) return false;
  out = v;
  return true;
}
}  // namespace

TimeCode ParseTimeCode(std::string_view text) {
  TimeCode code;
  if (text.size() < 18) return code;
  DateTimeParts& p = code.parts;
  if (!Field(text, 3, 6, p.year) || !Field(text, 7, 8, p.month) || !Field(text, 9, 10, p.day) ||
      !Field(text, 11, 12, p.hour) || !Field(text, 13, 14, p.minute) || !Field(text, 15, 16, p.second)) {
    code.outcome = TimeCode::NotNumeric;
    return code;
  }
  p.millisecond = 0;
  code.outcome = TimeCode::Valid;
  code.encodes = TryEncodeDateTime(p, code.time);
  return code;
}

bool IsChartGap(TDateTime previous, TDateTime t) {
  const double milliseconds = std::round((t - previous) * SecondsPerDay * 1000.0);
  return std::fabs(milliseconds) > ChartGapSeconds * 1000.0;
}

void HorizonSaveRule::Start(const Table& saved, TDateTime now) {
  saved_ = saved;
  last_ = now;
}

bool HorizonSaveRule::Due(const Table& table, TDateTime now) {
  // A clock set back would otherwise hold the next save for as long as it was set back.
  if (now < last_) last_ = now;
  return (now - last_) * SecondsPerDay >= IntervalSeconds && table != saved_;
}

void HorizonSaveRule::Done(const Table& table, TDateTime now, bool written) {
  last_ = now;
  if (written) saved_ = table;
}
