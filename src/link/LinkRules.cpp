#include "link/LinkRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "link/ScanNumbers.h"
#include "link/SharedReceiverState.h"
#include "link/TimeHelpers.h"
#include "platform/DateTime.h"

namespace {

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool Contains(std::string_view text, std::string_view key) { return text.find(key) != std::string_view::npos; }

// Nearest integer, or false when the value cannot be a calendar field.
bool RoundField(double value, int& out) {
  if (!std::isfinite(value) || std::fabs(value) > 1e6) return false;
  out = static_cast<int>(std::lround(value));
  return true;
}

long long RoundCount(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 1e15) return 0;
  return std::llround(value);
}

double ScaleByUnit(double value, std::string_view upperLine) {
  if (Contains(upperLine, "NS")) return value * 1e-9;
  if (Contains(upperLine, "US")) return value * 1e-6;
  return value;
}

}  // namespace

void AddTrace(SharedReceiverState& state, Clock& clock, bool stamped, std::string_view message) {
  if (state.TraceHold.load()) return;
  std::string line;
  line.reserve(message.size() + 24);
  if (stamped) {
    line = FormatStamp(UtcNow(clock));
    line += ' ';
  }
  line += message;
  line += "\r\n";
  state.QueueTrace(std::move(line));
}

void TrimAnswer(std::string& buffer, std::string_view command) {
  if (buffer.size() > 1 && buffer.back() != '\r') {
    const std::size_t lastCr = buffer.find_last_of('\r');
    buffer.resize(lastCr == std::string::npos ? 1 : std::max<std::size_t>(lastCr + 1, 1));
  }
  if (buffer.size() > 1) buffer.pop_back();
  const std::size_t echo = buffer.find(command);
  if (echo != std::string::npos) buffer.erase(echo, command.size());
  std::erase(buffer, '\r');
  std::erase(buffer, '\n');
}

std::uint8_t FamilyFromIdn(std::string_view answer) {
  const std::string upper = UpperAscii(answer);
  std::uint8_t family = FamilyUndefined;
  struct Key {
    const char* text;
    std::uint8_t family;
  };
  static constexpr Key keys[] = {{"Z3801", FamilyZ3801},   {"Z3805", FamilyZ3805},  {"Z3815", FamilyZ3815},
                                 {"Z3816", FamilyZ3816},   {"Z3817", FamilyZ3817},  {"GCRU", FamilyGCRU},
                                 {"58503", FamilyHP58503}, {"55300", FamilyHP55300}};
  for (const Key& key : keys)
    if (Contains(upper, key.text)) family = key.family;
  for (const char* jackson : {"JACKSON", "CSAC", "GPSTCXO", "GPSOCXO", "LC_XO"})
    if (Contains(upper, jackson)) {
      family = FamilyJackson;
      break;
    }
  if (Contains(upper, "MTRON")) family = FamilyMtron;
  return family;
}

std::string DetectedDeviceMessage(std::uint8_t family) {
  static constexpr const char* names[] = {"Z3801",        "Z3805",   "Z3815",   "Z3816", "Z3817",    "GCRU",
                                          "Jackson Labs", "HP58503", "HP55300", "Mtron", "Undefined"};
  return std::string("Detected Device: ") + names[std::min<int>(family, FamilyUndefined)];
}

std::string GeneralNumberText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // 15 significant digits, then trailing zeros dropped.
  char sci[40];
  const auto result = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
  const std::string_view text(sci, static_cast<std::size_t>(result.ptr - sci));
  const std::size_t ePos = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+'), text.data() + text.size(), exponent);
  const bool negative = text.front() == '-';
  std::string digits;
  for (char c : text.substr(0, ePos))
    if (c >= '0' && c <= '9') digits += c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits + std::string(intDigits - digits.size(), '0');
    } else {
      out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
  }
  return out;
}

void DecodeGcruStatus(const std::vector<std::string>& lines, SharedReceiverState& state) {
  NumberList numbers;
  for (const std::string& line : lines) {
    std::string upper = UpperAscii(line);
    // A line with fewer numbers than its fixed positions need publishes nothing.
    if (Contains(upper, "TRACKING:") && ScanNumbers(upper, numbers) && numbers.Count >= 2) {
      const long long tracked = RoundCount(numbers[1]);
      state.Publish(ReceiverValue::Tracked, std::to_string(tracked), true);
      state.Publish(ReceiverValue::Visible, std::to_string(tracked + RoundCount(numbers[2])), true);
    }
    if (Contains(upper, "1PPS TI")) {
      std::erase(upper, '+');
      if (ScanNumbers(upper, numbers) && numbers.Count >= 2)
        state.Publish(ReceiverValue::PpsTi, GeneralNumberText(ScaleByUnit(numbers[2], upper)), true);
    }
    if (Contains(upper, "PREDICT") && ScanNumbers(upper, numbers))
      state.Publish(ReceiverValue::Hup, GeneralNumberText(ScaleByUnit(numbers[1], upper)), true);
    if (Contains(upper, ">>")) {
      const char* status = Contains(upper, "LOCKED")     ? "LOCK"
                           : Contains(upper, "RECOVERY") ? "REC"
                           : Contains(upper, "HOLDOVER") ? "HOLD"
                           : Contains(upper, "POWER")    ? "POW"
                                                         : nullptr;
      if (status) state.Publish(ReceiverValue::OscStatus, status, true);
    }
  }
  state.Publish(ReceiverValue::LifeCount, "1", true);
}

bool BuildTimeCode(std::string_view timeText, std::string_view dateText, std::string& timeCode) {
  if (timeText.empty() || dateText.empty()) return false;
  // Commas become tabs so that "12,34,56" reads as three numbers, not one decimal.
  std::string time(timeText), date(dateText);
  std::replace(time.begin(), time.end(), ',', '\t');
  std::replace(date.begin(), date.end(), ',', '\t');
  NumberList timeNumbers, dateNumbers;
  // Three numbers each, or no time code at all.
  if (!ScanNumbers(time, timeNumbers) || !ScanNumbers(date, dateNumbers)) return false;
  if (timeNumbers.Count < 3 || dateNumbers.Count < 3) return false;
  DateTimeParts parts;
  if (!RoundField(dateNumbers[1], parts.year) || !RoundField(dateNumbers[2], parts.month) ||
      !RoundField(dateNumbers[3], parts.day) || !RoundField(timeNumbers[1], parts.hour) ||
      !RoundField(timeNumbers[2], parts.minute) || !RoundField(timeNumbers[3], parts.second))
    return false;
  parts.millisecond = 0;
  TDateTime encoded = 0;
  if (!TryEncodeDateTime(parts, encoded)) return false;
  char text[40];
  std::snprintf(text, sizeof text, "T2%04d%02d%02d%02d%02d%02d0000", parts.year, parts.month, parts.day, parts.hour,
                parts.minute, parts.second);
  timeCode = text;
  return true;
}
