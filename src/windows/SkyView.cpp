#include "windows/SkyView.h"

#include <cmath>

HorizonLine BuildHorizonLine(const HorizonTable& table) {
  HorizonLine line;
  for (int i = 0; i < HorizonLine::Points; ++i) line.Radius[HorizonAngle(i)] = 90.0 - table[i];
  return line;
}

int UpdateHorizonLine(HorizonLine& line, const HorizonTable& table) {
  int moved = 0;
  for (int i = 0; i < HorizonLine::Points; ++i) {
    double& radius = line.Radius[HorizonAngle(i)];
    const double drawn = std::round(90.0 - radius);
    if (table[i] < drawn) {
      radius = 90.0 - table[i];
      ++moved;
    }
  }
  return moved;
}

void ResetHorizon(HorizonTable& table, HorizonLine& line) {
  table.fill(90);
  line.Radius.fill(0.0);
}

SkyDirection DirectionOf(double angle, double radius) {
  double azimuth = std::fmod(360.0 - angle, 360.0);
  if (azimuth < 0) azimuth += 360.0;
  if (azimuth >= 360.0) azimuth = 0.0;  // -0 and rounding at the seam
  return {azimuth, 90.0 - radius};
}

std::array<double, HorizonLine::Points> HorizonByAzimuth(const HorizonLine& line) {
  std::array<double, HorizonLine::Points> elevations{};
  // The point at angle k points to compass azimuth 360 - k.
  for (int k = 0; k < HorizonLine::Points; ++k) elevations[(360 - k) % 360] = 90.0 - line.Radius[k];
  return elevations;
}
