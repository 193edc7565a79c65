#include "link/ScanNumbers.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "platform/DateTime.h"

namespace {

bool IsStartChar(unsigned char c) {
  return c == '+' || c == ',' || c == '-' || c == '.' || c == ':' || (c >= '0' && c <= '9');
}

bool IsTokenChar(unsigned char c) { return IsStartChar(c) || c == 'E' || c == 'e'; }

bool IsSeparator(char c) { return c == ',' || c == '.' || c == ':'; }

// Zero-based form of the start rule, shared by the scanner and IsNumberStart.
bool StartsTokenAt(std::string_view line, std::size_t i) {
  if (!IsStartChar(static_cast<unsigned char>(line[i]))) return false;
  if (i == 0) return true;
  const unsigned char before = static_cast<unsigned char>(line[i - 1]);
  return before <= 32 || before == ';';
}

// from_chars takes no leading "+"; allow exactly one, never before another sign.
bool StripPlus(std::string_view& text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  return !text.empty();
}

bool ParseInteger(std::string_view text, double& out) {
  if (!StripPlus(text)) return false;
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  out = static_cast<double>(value);
  return true;
}

bool ParseDecimal(std::string_view text, double& out) {
  if (!StripPlus(text)) return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  out = value;
  return true;
}

bool ParseCommaDecimal(std::string_view text, double& out) {
  char buffer[128];
  if (text.size() > sizeof buffer) return false;
  for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = text[i] == ',' ? '.' : text[i];
  return ParseDecimal(std::string_view(buffer, text.size()), out);
}

// Unsigned decimal field of at most 9 digits between separators.
bool ParseField(std::string_view text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

// Splits "a?b" or "a?b?c" at the separators; false when a part is missing.
int SplitFields(std::string_view token, std::string_view parts[3]) {
  int count = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= token.size(); ++i) {
    if (i == token.size() || IsSeparator(token[i])) {
      if (count == 3) return 0;
      parts[count++] = token.substr(start, i - start);
      start = i + 1;
    }
  }
  return count;
}

bool ParseTimeOfDay(std::string_view token, double& out) {
  std::string_view parts[3];
  const int count = SplitFields(token, parts);
  if (count < 2) return false;
  int hour = 0, minute = 0, second = 0;
  if (!ParseField(parts[0], hour) || !ParseField(parts[1], minute)) return false;
  if (count == 3 && !ParseField(parts[2], second)) return false;
  if (hour > 23 || minute > 59 || second > 59) return false;
  out = (hour * 3600.0 + minute * 60.0 + second) / SecondsPerDay;
  return true;
}

bool ParseDayFirstDate(std::string_view token, double& out) {
  std::string_view parts[3];
  if (SplitFields(token, parts) != 3) return false;
  int day = 0, month = 0, year = 0;
  if (!ParseField(parts[0], day) || !ParseField(parts[1], month) || !ParseField(parts[2], year)) return false;
  if (parts[2].size() <= 2) year += year < 50 ? 2000 : 1900;
  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) return false;
  out = date;
  return true;
}

}  // namespace

bool IsNumberStart(std::string_view line, std::size_t position) {
  if (position < 1 || position > line.size()) return false;
  return StartsTokenAt(line, position - 1);
}

double ConvertToken(std::string_view token, std::string_view separators) {
  double value = 0;
  bool ok = false;
  switch (separators.size()) {
    case 0:
      ok = ParseInteger(token, value);
      break;
    case 1:
      if (separators[0] == '.')
        ok = ParseDecimal(token, value);
      else if (separators[0] == ',')
        ok = ParseCommaDecimal(token, value);
      else
        ok = ParseTimeOfDay(token, value);
      break;
    case 2:
      if (separators[0] == ':')
        ok = separators[1] == ':' && ParseTimeOfDay(token, value);
      else if (separators[0] == '.')
        ok = ParseDayFirstDate(token, value);
      break;
    default:
      break;
  }
  return ok ? value : 0.0;
}

bool ScanNumbers(std::string_view line, NumberList& numbers) {
  numbers.Count = 0;
  bool found = false;
  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n && numbers.Count < NumberList::Capacity) {
    if (!StartsTokenAt(line, i)) {
      ++i;
      continue;
    }
    found = true;
    const std::size_t start = i;
    char separators[3];
    std::size_t separatorCount = 0;
    while (i < n && IsTokenChar(static_cast<unsigned char>(line[i]))) {
      if (IsSeparator(line[i])) {
        if (separatorCount < 3) separators[separatorCount] = line[i];
        ++separatorCount;
      }
      ++i;
    }
    const std::size_t kept = separatorCount < 3 ? separatorCount : 3;
    numbers.Values[numbers.Count++] = ConvertToken(line.substr(start, i - start), std::string_view(separators, kept));
  }
  return found;
}

NumberList ScanNumbers(std::string_view line, bool& found) {
  NumberList numbers;
  found = ScanNumbers(line, numbers);
  return numbers;
}
