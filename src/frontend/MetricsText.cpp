#include "frontend/MetricsText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "frontend/RefreshRules.h"

namespace {

void Append(std::string& out, std::uint64_t value) {
  char buffer[24];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

// Shortest text that reads back as the same double; "NaN", "+Inf", "-Inf" as Prometheus writes them.
void Append(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "+Inf" : "-Inf";
    return;
  }
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

template <typename T>
void Single(std::string& out, const char* name, const char* type, const char* help, T value) {
  Header(out, name, type, help);
  out += name;
  out += ' ';
  Append(out, value);
  out += '\n';
}

void Label(std::string& out, const char* key, std::string_view value, bool first) {
  if (!first) out += ',';
  out += key;
  out += "=\"";
  out += EscapeLabelValue(value);
  out += '"';
}

constexpr std::uint8_t StatusCodes[] = {StatusLock, StatusHold, StatusRec,      StatusPow,
                                        StatusWait, StatusOth,  StatusUndefined};

}  // namespace

std::string EscapeLabelValue(std::string_view text) {
  static const char* const Hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c > 0x7E) {
      out += "\\\\x";
      out += Hex[c >> 4];
      out += Hex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

const char* StatusLabel(std::uint8_t code) {
  switch (code) {
    case StatusOth:
      return "OTH";
    case StatusHold:
      return "HOLD";
    case StatusWait:
      return "WAIT";
    case StatusRec:
      return "REC";
    case StatusLock:
      return "LOCK";
    case StatusPow:
      return "POW";
    default:
      return "undefined";
  }
}

void WriteExposition(const MetricsSnapshot& s, std::string& out) {
  out.clear();
  if (s.Identified) {
    Header(out, "varnex_receiver_info", "gauge", "The receiver's identification (*IDN?); always 1.");
    out += "varnex_receiver_info{";
    Label(out, "maker", s.Maker, true);
    Label(out, "model", s.Model, false);
    Label(out, "serial", s.Serial, false);
    Label(out, "firmware", s.Firmware, false);
    out += "} 1\n";
  }
  if (s.LinkUp)
    Single(out, "varnex_link_up", "gauge", "1 while the receiver delivers status screens, 0 when none came for 45 s.",
           std::uint64_t{*s.LinkUp ? 1u : 0u});
  Single(out, "varnex_link_lost_total", "counter", "Times the link went down.", s.LinkLost);
  Single(out, "varnex_poll_cycles_total", "counter", "Poll cycles that brought a status screen.", s.PollCycles);
  Single(out, "varnex_data_lines_total", "counter", "Lines written to the measurement data files.", s.DataLines);
  Single(out, "varnex_file_write_failures_total", "counter",
         "Lines that could not be written to the data files and logs.", s.FileWriteFailures);
  Single(out, "varnex_receiver_errors_total", "counter", "Error reports read from the receiver's error queue.",
         s.ReceiverErrors);
  if (s.LastStatusUnixSeconds)
    Single(out, "varnex_last_status_timestamp_seconds", "gauge",
           "Unix time of the poll cycle that read the latest status screen.", *s.LastStatusUnixSeconds);
  if (s.PpsTiSeconds)
    Single(out, "varnex_pps_time_interval_seconds", "gauge", "1 PPS time interval relative to GPS, in seconds.",
           *s.PpsTiSeconds);
  if (s.Efc) Single(out, "varnex_efc", "gauge", "Oscillator control value (EFC) in the receiver's units.", *s.Efc);
  if (s.EfcFractional)
    Single(out, "varnex_efc_fractional_frequency", "gauge",
           "EFC as relative frequency, by the EFC scale setting (mantissa x 10^exponent per unit).", *s.EfcFractional);
  if (s.HoldoverUncertaintySeconds)
    Single(out, "varnex_holdover_uncertainty_seconds", "gauge",
           "Predicted holdover uncertainty over the first 24 hours, in seconds.", *s.HoldoverUncertaintySeconds);
  if (s.Visible || s.Tracked) {
    Header(out, "varnex_satellites", "gauge", "GPS satellites visible and tracked.");
    if (s.Visible) {
      out += "varnex_satellites{state=\"visible\"} ";
      Append(out, static_cast<double>(*s.Visible));
      out += '\n';
    }
    if (s.Tracked) {
      out += "varnex_satellites{state=\"tracked\"} ";
      Append(out, static_cast<double>(*s.Tracked));
      out += '\n';
    }
  }
  if (!s.Levels.empty()) {
    Header(out, "varnex_satellite_cn0_dbhz", "gauge", "Signal level (C/N0) of each satellite tracked now, in dB-Hz.");
    for (const SatelliteLevel& level : s.Levels) {
      out += "varnex_satellite_cn0_dbhz{prn=\"";
      Append(out, static_cast<std::uint64_t>(level.Prn));
      out += "\"} ";
      Append(out, static_cast<double>(level.CN));
      out += '\n';
    }
  }
  if (s.Status) {
    Header(out, "varnex_reference_status", "gauge",
           "SmartClock status as the receiver reports it: 1 for the current one, 0 for the others.");
    const char* current = StatusLabel(*s.Status);
    for (std::uint8_t code : StatusCodes) {
      const char* label = StatusLabel(code);
      out += "varnex_reference_status{status=\"";
      out += label;
      out += "\"} ";
      out += std::strcmp(label, current) == 0 ? '1' : '0';
      out += '\n';
    }
  }
}
