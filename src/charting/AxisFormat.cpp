#include "charting/AxisFormat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace {

// Fixed-point text without locale ("." always).
std::string Fixed(double value, int decimals) {
  std::array<char, 400> buf{};
  auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return "?";
  return std::string(buf.data(), res.ptr);
}

// Applies the optional places of a pattern: trailing zeros beyond minDecimals
// go, leading zeros and grouping as the integer part asks.
std::string ShapeDigits(std::string text, const NumberPattern& p) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  std::string intPart = text, fracPart;
  if (auto dot = text.find('.'); dot != std::string::npos) {
    intPart = text.substr(0, dot);
    fracPart = text.substr(dot + 1);
  }
  while (static_cast<int>(fracPart.size()) > p.minDecimals && !fracPart.empty() && fracPart.back() == '0')
    fracPart.pop_back();
  while (static_cast<int>(intPart.size()) < p.minIntegerDigits) intPart.insert(0, "0");
  // A lone zero before the point goes when no '0' asks for it ("#.00" shows ".50").
  if (p.minIntegerDigits == 0 && intPart == "0" && !fracPart.empty()) intPart.clear();
  if (p.thousands && intPart.size() > 3) {
    std::string grouped;
    int n = static_cast<int>(intPart.size());
    for (int i = 0; i < n; ++i) {
      if (i > 0 && (n - i) % 3 == 0) grouped += ',';
      grouped += intPart[i];
    }
    intPart = grouped;
  }
  std::string out = intPart;
  if (!fracPart.empty()) out += "." + fracPart;
  if (out.empty()) out = "0";
  bool allZero = out.find_first_not_of("0.,") == std::string::npos;
  if (negative && !allZero) out.insert(0, "-");
  return out;
}

std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  while (static_cast<int>(s.size()) < width) s.insert(0, "0");
  return s;
}

}  // namespace

std::string NumberLabel::PlainText() const {
  if (exponent.empty()) return mantissa + literal;
  return mantissa + literal + "^" + exponent;
}

NumberPattern ParseNumberPattern(const std::string& format) {
  NumberPattern p;
  p.integerPlaces = 0;
  p.minIntegerDigits = 0;
  bool seenDigit = false, seenPoint = false, inExponent = false;
  std::string literal;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c == '"' || c == '\'') {
      auto end = format.find(c, i + 1);
      if (end == std::string::npos) end = format.size();
      literal += format.substr(i + 1, end - i - 1);
      i = end;
    } else if ((c == 'E' || c == 'e') && i + 1 < format.size() && (format[i + 1] == '+' || format[i + 1] == '-')) {
      p.scientific = true;
      p.exponentSign = format[i + 1] == '+';
      p.exponentDigits = 0;
      std::size_t j = i + 2;
      while (j < format.size() && format[j] == '0') ++j, ++p.exponentDigits;
      if (p.exponentDigits == 0) p.exponentDigits = 1;
      inExponent = true;
      i = j - 1;
    } else if (!inExponent && (c == '0' || c == '#')) {
      if (!seenDigit) p.prefix = literal, literal.clear();
      seenDigit = true;
      if (seenPoint) {
        ++p.maxDecimals;
        if (c == '0') p.minDecimals = p.maxDecimals;
      } else {
        ++p.integerPlaces;
        if (c == '0') ++p.minIntegerDigits;
      }
    } else if (!inExponent && c == '.') {
      seenPoint = true;
      seenDigit = true;
    } else if (!inExponent && c == ',') {
      if (!seenPoint) p.thousands = true;
    } else if (!inExponent) {
      literal += c;
    }
  }
  if (!seenDigit) p.prefix = literal, literal.clear();
  p.suffix = literal;
  if (p.integerPlaces == 0) p.integerPlaces = 1;
  if (p.scientific) p.minIntegerDigits = 1;
  return p;
}

double PatternResolution(const NumberPattern& pattern) {
  if (pattern.scientific) return 0.0;
  return std::pow(10.0, -pattern.maxDecimals);
}

NumberLabel FormatNumberLabel(double value, const NumberPattern& p) {
  NumberLabel out;
  if (!std::isfinite(value)) {
    out.mantissa = std::isnan(value) ? "NaN" : (value > 0 ? "INF" : "-INF");
    return out;
  }
  if (!p.scientific) {
    out.mantissa = p.prefix + ShapeDigits(Fixed(value, p.maxDecimals), p) + p.suffix;
    return out;
  }
  if (value == 0.0) {
    // Zero has no exponent; "0" reads better among powers of ten than "0.00x10^0".
    out.mantissa = p.prefix + "0";
    return out;
  }
  int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value)))) - (p.integerPlaces - 1);
  double mantissa = value / std::pow(10.0, exponent);
  std::string text = Fixed(mantissa, p.maxDecimals);
  // Rounding may carry into a new digit (9.996 -> 10.00); then shift once more.
  double limit = std::pow(10.0, p.integerPlaces);
  if (std::fabs(std::stod(text)) >= limit) {
    ++exponent;
    text = Fixed(value / std::pow(10.0, exponent), p.maxDecimals);
  }
  out.mantissa = p.prefix + ShapeDigits(text, p);
  out.literal = Trim(p.suffix);
  std::string digits = Pad(std::abs(exponent), p.exponentDigits);
  if (exponent < 0)
    out.exponent = "-" + digits;
  else
    out.exponent = (p.exponentSign ? "+" : "") + digits;
  return out;
}

NumberLabel FormatNumberLabel(double value, const std::string& format) {
  return FormatNumberLabel(value, ParseNumberPattern(format));
}

std::string FormatDateTimeLabel(TDateTime t, const std::string& format) {
  DateTimeParts d = DecodeDateTime(t);
  std::string out;
  bool afterHour = false;
  std::size_t i = 0;
  auto run = [&](char letter) {
    std::size_t n = 0;
    while (i + n < format.size() && std::tolower(static_cast<unsigned char>(format[i + n])) == letter) ++n;
    return n;
  };
  while (i < format.size()) {
    char c = format[i];
    char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '"' || c == '\'') {
      auto end = format.find(c, i + 1);
      if (end == std::string::npos) end = format.size();
      out += format.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    std::size_t n = 0;
    switch (lower) {
      case 'y':
        n = run('y');
        out += n <= 2 ? Pad(d.year % 100, 2) : Pad(d.year, 4);
        break;
      case 'm':
        n = run('m');
        if (afterHour)
          out += Pad(d.minute, n >= 2 ? 2 : 1);
        else
          out += Pad(d.month, n >= 2 ? 2 : 1);
        afterHour = false;
        break;
      case 'd':
        n = run('d');
        out += Pad(d.day, n >= 2 ? 2 : 1);
        break;
      case 'h':
        n = run('h');
        out += Pad(d.hour, n >= 2 ? 2 : 1);
        afterHour = true;
        i += n;
        continue;
      case 'n':
        n = run('n');
        out += Pad(d.minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        n = run('s');
        out += Pad(d.second, n >= 2 ? 2 : 1);
        break;
      case 'z':
        n = run('z');
        out += Pad(d.millisecond, n >= 3 ? 3 : 1);
        break;
      default:
        out += c;
        n = 1;
        // Separators between hour and minute keep the minute meaning ("hh:mm").
        if (c != ':' && c != ' ') afterHour = false;
        i += n;
        continue;
    }
    i += n;
  }
  return out;
}

double DateTimeTickStep(double spanDays, int maxTicks) {
  static constexpr double kSteps[] = {1,     2,     5,      10,     15,     30,      60,     120,
                                      300,   600,   900,    1800,   3600,   7200,    10800,  21600,
                                      43200, 86400, 172800, 345600, 604800, 1209600, 2592000};
  if (maxTicks < 1) maxTicks = 1;
  double spanSeconds = spanDays * SecondsPerDay;
  for (double s : kSteps)
    if (spanSeconds / s <= maxTicks) return s / SecondsPerDay;
  // Beyond a month per tick: whole multiples of 30 days.
  double months = std::ceil(spanSeconds / 2592000.0 / maxTicks);
  return months * 30.0;
}

double TimeAxisTickStep(double rangeDays, double pixelWidth, double labelWidth) {
  static constexpr double kMinutes[] = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440, 2880, 7200};
  const double minute = 1.0 / 1440.0;
  if (!(rangeDays > 0) || !(pixelWidth > 0)) return minute;
  // Label separation 20: a gap of a fifth of a label between neighbours.
  const double needPixels = std::max(1.0, labelWidth) * 1.2;
  const auto fits = [&](double step) { return step / rangeDays * pixelWidth >= needPixels; };
  for (double m : kMinutes)
    if (fits(m * minute)) return m * minute;
  // Beyond five days per label: 10, 20, 50, 100 ... days.
  for (double days = 10;; days *= 10) {
    for (double f : {1.0, 2.0, 5.0})
      if (fits(days * f) || days * f > 1e7) return days * f;
  }
}
