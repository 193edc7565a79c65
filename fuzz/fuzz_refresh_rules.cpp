// The refresh tick's conversions of receiver answers: strict numbers, the
// holdover uncertainty, the SmartClock status and the time code, plus the
// panel formats of whatever they accept.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "frontend/RefreshRules.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The strict decimal form, said once more by hand: blanks, sign, digits with at
// most one ".", at least one digit, an optional exponent with digits.
bool StrictDecimalShape(std::string_view t) {
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t e = 0;
    while (i < t.size() && IsDigit(t[i])) ++i, ++e;
    if (e == 0) return false;
  }
  return i == t.size();
}

// The strict integer forms, said once more by hand: blanks, then a sign and
// decimal digits within 32 bits, or a "$", "x", "X", "0x" or "0X" and
// hexadecimal digits within 32 bits, read as the bit pattern.
bool ReferenceInt32(std::string_view t, std::int32_t& out) {
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  t.remove_prefix(i);
  std::string_view hex;
  if (!t.empty() && (t[0] == '$' || t[0] == 'x' || t[0] == 'X'))
    hex = t.substr(1);
  else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
    hex = t.substr(2);
  else {
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
      negative = t[0] == '-';
      t.remove_prefix(1);
    }
    if (t.empty() || t.find_first_not_of("0123456789") != std::string_view::npos) return false;
    const std::size_t nonZero = t.find_first_not_of('0');
    if (nonZero != std::string_view::npos && t.size() - nonZero > 10) return false;
    const long long v = std::strtoll(std::string(t).c_str(), nullptr, 10) * (negative ? -1 : 1);
    if (v < -2147483648LL || v > 2147483647LL) return false;
    out = static_cast<std::int32_t>(v);
    return true;
  }
  if (hex.empty() || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) return false;
  const std::size_t nonZero = hex.find_first_not_of('0');
  if (nonZero != std::string_view::npos && hex.size() - nonZero > 8) return false;
  out = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtoull(std::string(hex).c_str(), nullptr, 16)));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  double value = 12.5;
  if (StrictToFloat(text, value)) {
    FUZZ_CHECK(StrictDecimalShape(text));
    FUZZ_CHECK(std::isfinite(value));
    // What the panels show of an accepted value reads back as a number.
    double shown = 0.0;
    const std::string general = FormatGeneral(value);
    FUZZ_CHECK(StrictToFloat(general, shown));
    FUZZ_CHECK(std::fabs(shown - value) <= 1e-9 * std::fabs(value));
    const std::string scientific = FormatScientific3(value);
    FUZZ_CHECK(StrictToFloat(scientific, shown));
    FUZZ_CHECK(std::fabs(shown - value) <= 5e-3 * std::fabs(value));
  } else if (StrictDecimalShape(text)) {
    // Refused although well formed: only for a value beyond the double range.
    errno = 0;
    const double wide = std::strtod(std::string(text).c_str(), nullptr);
    FUZZ_CHECK(std::isinf(wide) || errno == ERANGE);
  }

  std::int32_t n = 0, expected = 0;
  const bool accepted = StrictToInt32(text, n);
  FUZZ_CHECK(accepted == ReferenceInt32(text, expected));
  if (accepted) FUZZ_CHECK(n == expected);

  double hup = 0.0;
  if (ConvertHoldoverUncertainty(text, hup)) FUZZ_CHECK(std::isfinite(hup) && std::fabs(hup) <= 1.0);

  const std::uint8_t code = SmartClockStatusCode(text);
  FUZZ_CHECK(code <= StatusPow);
  for (std::uint8_t last = 0; last <= StatusPow; ++last) {
    for (const std::string& message : StatusReportMessages(last, code, std::string(text)))
      FUZZ_CHECK(message.find_first_of("\r\n") == std::string::npos || text.find_first_of("\r\n") != std::string::npos);
  }

  const TimeCode timeCode = ParseTimeCode(text);
  if (timeCode.outcome == TimeCode::Valid && timeCode.encodes) {
    FUZZ_CHECK(std::isfinite(timeCode.time));
    const DateTimeParts& p = timeCode.parts;
    FUZZ_CHECK(p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= 31);
    FUZZ_CHECK(p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 && p.second >= 0 && p.second <= 59);
  }
  return 0;
}
