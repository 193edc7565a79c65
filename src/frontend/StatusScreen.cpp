#include "frontend/StatusScreen.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>

#include "link/ScanNumbers.h"
#include "link/SharedReceiverState.h"

namespace {

constexpr const char* CrLf = "\r\n";

std::string Upper(const std::string& line) {
  std::string out(line);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The index of the header line, or 0 when there is none (line 0 never counts).
std::size_t FindHeader(const std::vector<std::string>& lines) {
  std::size_t header = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (Upper(lines[i]).find("PRN") != std::string::npos) header = i;
  return header;
}

bool TakeRow(const NumberList& numbers, SatelliteRow& row) {
  if (numbers.Count < 4) return false;
  return RoundHalfEven(numbers[1], row.Prn) && RoundHalfEven(numbers[2], row.Elevation) &&
         RoundHalfEven(numbers[3], row.Azimuth) && RoundHalfEven(numbers[4], row.CN);
}

}  // namespace

bool RoundHalfEven(double value, std::int32_t& out) {
  if (!std::isfinite(value)) return false;
  double r = std::round(value);  // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5 && std::fmod(r, 2.0) != 0.0) r -= std::copysign(1.0, value);
  if (r < -2147483648.0 || r > 2147483647.0) return false;
  out = static_cast<std::int32_t>(r);
  return true;
}

void GetTrackedData(const std::vector<std::string>& lines, std::int32_t trackedCount, SatelliteTable& table,
                    SharedReceiverState& state) {
  try {
    const std::size_t header = FindHeader(lines);
    if (header == 0) return;

    if (!state.TraceHold.load()) {
      std::lock_guard<std::recursive_mutex> lock(state.TraceLock);
      state.TraceLines.push_back(CrLf);
      state.TraceLines.push_back(CrLf);
      state.TraceLines.push_back("String PRN found in line " + std::to_string(header + 1) + " of status screen" + CrLf);
    }

    std::int32_t count = 0;
    for (std::int32_t k = 1; k <= trackedCount; ++k) {
      const std::size_t index = header + static_cast<std::size_t>(k);
      if (index >= lines.size()) break;  // no line here, nor further down
      const std::string line = Upper(lines[index]);
      NumberList numbers;
      if (!ScanNumbers(line, numbers)) break;
      if (numbers[1] == 0.0) continue;
      SatelliteRow row;
      if (!TakeRow(numbers, row)) continue;
      if (count >= SatelliteTable::Capacity) continue;  // the table is full; later rows are ignored
      if (!state.TraceHold.load()) {
        state.QueueTrace("Using line \"" + line.substr(0, 30) + ".....\" for capturing sat data" + CrLf);
      }
      table.Rows[static_cast<std::size_t>(count++)] = row;
    }
    table.Count = count;
  } catch (const std::exception&) {
    state.QueueTrace(std::string("A error in \"GetTrackedData\" has occurred") + CrLf);
  }
}

SatelliteDisplay BuildSatelliteDisplay(const SatelliteTable& table, HorizonTable& horizon) {
  SatelliteDisplay display;
  const int count = std::min<std::int32_t>(std::max<std::int32_t>(table.Count, 0), SatelliteTable::Capacity);
  for (int i = 0; i < count; ++i) {
    const SatelliteRow& s = table.Rows[static_cast<std::size_t>(i)];
    if (s.Prn == 0 || s.CN == 0) continue;
    display.Sky.push_back(
        {360.0 - s.Azimuth, 90.0 - s.Elevation, "PRN: " + std::to_string(s.Prn) + " C/N: " + std::to_string(s.CN)});
    if (s.Azimuth >= 0 && s.Azimuth <= 359 && s.Elevation >= 0 && s.Elevation <= 90) {
      std::uint8_t& lowest = horizon[static_cast<std::size_t>(s.Azimuth)];
      if (s.Elevation < lowest) lowest = static_cast<std::uint8_t>(s.Elevation);
    }
    display.Bars.push_back({static_cast<double>(s.CN), "PRN " + std::to_string(s.Prn)});
  }
  return display;
}
