#pragma once
// The receiver's status screen: the table of tracked satellites taken from it,
// and what that table means for the sky view, the C/N bars and the learned horizon.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class SharedReceiverState;

struct SatelliteRow {
  std::int32_t Prn = 0;
  std::int32_t CN = 0;         // as the receiver prints it, dB-Hz
  std::int32_t Azimuth = 0;    // whole degrees, 0-359 on sane screens
  std::int32_t Elevation = 0;  // whole degrees, 0-90 on sane screens
};

struct SatelliteTable {
  static constexpr int Capacity = 24;
  std::array<SatelliteRow, Capacity> Rows{};
  std::int32_t Count = 0;  // rows at or beyond the count are leftovers
};

using HorizonTable = std::array<std::uint8_t, 360>;

// Rebuilds `table` from the status screen. The header is the last line that
// holds "PRN" (upper-cased test), not counting the first line; then for k = 1
// to trackedCount the line k places below it gives a row of PRN, elevation,
// azimuth and C/N. Rows beyond the table's 24 are ignored, rows of fewer than
// four numbers or with numbers beyond 32 bits are skipped. Trace notes go to
// the state's trace queue unless its hold is set; a failure is traced whatever
// the hold and leaves the row count as it was.
void GetTrackedData(const std::vector<std::string>& lines, std::int32_t trackedCount, SatelliteTable& table,
                    SharedReceiverState& state);

struct SkyPoint {
  double Angle = 0;   // 360 - azimuth, degrees
  double Radius = 0;  // 90 - elevation
  std::string Label;  // "PRN: 7 C/N: 42"
};

struct LevelBar {
  double Value = 0;   // C/N
  std::string Label;  // "PRN 7"
};

struct SatelliteDisplay {
  std::vector<SkyPoint> Sky;
  std::vector<LevelBar> Bars;
};

// The sky view points and C/N bars of the table's satellites with a PRN and a
// C/N other than 0, in table order; lowers `horizon` where a satellite is seen
// lower. Azimuths outside 0-359 and elevations outside 0-90 never touch it.
SatelliteDisplay BuildSatelliteDisplay(const SatelliteTable& table, HorizonTable& horizon);

// Halves go to the even neighbour; false when the result is not a 32-bit integer.
bool RoundHalfEven(double value, std::int32_t& out);
