#include "analysis/DriftStatistics.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "analysis/CurveFit.h"
#include "charting/ChartSeries.h"

namespace {

std::string WithPoint(std::string text, const std::string& decimalPoint) {
  const std::size_t dot = text.find('.');
  if (dot != std::string::npos) text.replace(dot, 1, decimalPoint);
  return text;
}

// Digits and exponent of a value rounded to `digits` significant digits.
struct Decimal {
  bool negative = false;
  std::string digits;  // without trailing zeros, at least one digit
  int exponent = 0;    // value = 0.d1d2... * 10^(exponent + 1)
};

Decimal Round(double value, int digits) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
  std::string text(buf, res.ptr);
  Decimal d;
  if (!text.empty() && text[0] == '-') {
    d.negative = true;
    text.erase(0, 1);
  }
  const std::size_t e = text.find('e');
  d.exponent = std::atoi(text.c_str() + e + 1);
  for (char c : text.substr(0, e))
    if (c != '.') d.digits += c;
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

}  // namespace

double EfcScale(double mantissa, int exponent) { return mantissa * std::pow(10.0, exponent); }

std::string ScientificField(double value, const std::string& decimalPoint) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  // to_chars ignores the process locale; the exponent has at least two digits.
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 3);
  std::string text(buf, res.ptr);
  const std::size_t e = text.find('e');
  if (e != std::string::npos) text[e] = 'E';
  return WithPoint(text, decimalPoint);
}

std::string GeneralField(double value, const std::string& decimalPoint) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0.0) return "0";
  const Decimal d = Round(value, 15);
  std::string out = d.negative ? "-" : "";
  const int places = static_cast<int>(d.digits.size());
  if (d.exponent >= -5 && d.exponent < 15) {
    if (d.exponent < 0) {
      out += "0" + decimalPoint + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    } else if (places <= d.exponent + 1) {
      out += d.digits + std::string(static_cast<std::size_t>(d.exponent + 1 - places), '0');
    } else {
      out += d.digits.substr(0, static_cast<std::size_t>(d.exponent + 1)) + decimalPoint +
             d.digits.substr(static_cast<std::size_t>(d.exponent + 1));
    }
    return out;
  }
  out += d.digits.substr(0, 1);
  if (places > 1) out += decimalPoint + d.digits.substr(1);
  out += "E" + std::to_string(d.exponent);
  return out;
}

DriftResult ComputeDrift(const ChartSeries& efc, double axisMin, double axisMax, double efcScale,
                         const std::string& decimalPoint, TCurveFit& fit) {
  DriftResult r;
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
  fit.ClearPoints();
  for (const ChartPoint& p : efc.Points()) {
    if (!(p.x > axisMin && p.x < axisMax)) continue;
    min = std::min(min, p.y);
    max = std::max(max, p.y);
    fit.AddFitPoint(p.x, p.y);
  }
  double k = 0.0, d = 0.0, qof = 0.0;
  try {
    fit.CalcLinFit(k, d, qof);
  } catch (const CurveFitError&) {
    return r;
  }
  r.Fitted = true;
  r.Min = min;
  r.Max = max;
  r.Slope = k;
  r.Intercept = d;
  r.Qof = qof;
  r.Fields = {ScientificField(min, decimalPoint),
              ScientificField(max, decimalPoint),
              ScientificField(min * efcScale, decimalPoint),
              ScientificField(max * efcScale, decimalPoint),
              ScientificField(k, decimalPoint),
              ScientificField(k * efcScale, decimalPoint),
              GeneralField(qof, decimalPoint)};
  r.LineX0 = efc.First().x;
  r.LineX1 = efc.Last().x;
  r.LineY0 = k * r.LineX0 + d;
  r.LineY1 = k * r.LineX1 + d;
  return r;
}
