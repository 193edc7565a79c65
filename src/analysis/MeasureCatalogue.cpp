#include "analysis/MeasureCatalogue.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

const MeasureInfo& MeasureInfoOf(StabilityMeasure measure) {
  for (const MeasureInfo& info : kMeasureCatalogue) {
    if (info.measure == measure) return info;
  }
  return kMeasureCatalogue.front();
}

std::string FormatMeasureValue(double value) {
  if (!std::isfinite(value)) return "-";
  char buf[64];
  // to_chars ignores the process locale, so the point is always ".".
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 2);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t e = text.find('e');
  const std::string_view mantissa = text.substr(0, e);
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  std::string out(mantissa);
  out += " x 10 E";
  out += exponent < 0 ? '-' : '+';
  out += std::to_string(std::abs(exponent));
  return out;
}

const FurtherMeasureInfo& FurtherMeasureInfoOf(FurtherMeasure measure) {
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) {
    if (info.measure == measure) return info;
  }
  return kFurtherMeasureCatalogue.front();
}
