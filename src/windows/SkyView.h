#pragma once
// The sky view's horizon line and satellite points, free of any toolkit. The line is a
// polar series of 360 points sorted by angle (point k at angle k, angles counter-clockwise
// from the top) whose radius is 90 minus the learned elevation; the centre is the zenith.
#include <array>

#include "frontend/StatusScreen.h"

struct HorizonLine {
  static constexpr int Points = 360;
  std::array<double, Points> Radius{};  // Radius[k]: the point at angle k
};

// The angle at which the table's entry for this azimuth is drawn (entry 0 at angle 359).
constexpr int HorizonAngle(int azimuth) { return 359 - azimuth; }

// The line as drawn at window creation: entry i at angle 359 - i, radius 90 - entry.
HorizonLine BuildHorizonLine(const HorizonTable& table);

// Moves points outward where the table now holds a lower elevation than drawn; never
// inward. Returns how many points moved.
int UpdateHorizonLine(HorizonLine& line, const HorizonTable& table);

// Forgets everything learned: every entry back to 90, the whole line at the centre.
void ResetHorizon(HorizonTable& table, HorizonLine& line);

// Compass direction of a polar point: azimuth clockwise from north in [0, 360),
// elevation 90 - radius.
struct SkyDirection {
  double Azimuth = 0;
  double Elevation = 0;
};
SkyDirection DirectionOf(double angle, double radius);

// The elevation the line shows at each whole compass azimuth (index = azimuth), for a
// chart that is drawn by compass direction.
std::array<double, HorizonLine::Points> HorizonByAzimuth(const HorizonLine& line);
