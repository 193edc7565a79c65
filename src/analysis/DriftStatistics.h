#pragma once
// The EFC statistics window's numbers and texts: the smallest and largest EFC
// value inside the displayed time interval, the straight-line fit of EFC against
// time over those points, and the fit line drawn across the whole EFC series.
#include <array>
#include <string>

class ChartSeries;
class TCurveFit;

// One EFC unit as a relative frequency offset: mantissa * 10^exponent.
double EfcScale(double mantissa, int exponent);

// Scientific notation with 4 significant digits and an exponent of at least two
// digits: 12345.6 gives "1.235E+04" (with "." as decimalPoint).
std::string ScientificField(double value, const std::string& decimalPoint);
// General format with up to 15 significant digits: 1 gives "1", 0.25 "0.25".
std::string GeneralField(double value, const std::string& decimalPoint);

struct DriftResult {
  // False when fewer than two points lie inside the interval; nothing else is set.
  bool Fitted = false;
  double Min = 0.0;
  double Max = 0.0;
  double Slope = 0.0;  // EFC units per day
  double Intercept = 0.0;
  double Qof = 0.0;
  // Edit1 ... Edit7.
  std::array<std::string, 7> Fields;
  // The fit line from the first to the last point of the whole series.
  double LineX0 = 0.0, LineY0 = 0.0, LineX1 = 0.0, LineY1 = 0.0;
};

// Points with axisMin < X < axisMax take part (null points too); the fit uses
// `fit`, which is cleared first.
DriftResult ComputeDrift(const ChartSeries& efc, double axisMin, double axisMax, double efcScale,
                         const std::string& decimalPoint, TCurveFit& fit);
