#include "analysis/NoiseIdentification.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Removes the least-squares quadratic in k from z. With k centred and scaled
// to t in [-1, 1], the polynomials 1, t and t^2 - mean(t^2) are orthogonal over
// the samples, so the fit needs no normal equations (which lose precision
// badly for k up to 10^5).
void RemoveQuadratic(std::vector<double>& z) {
  const auto n = static_cast<double>(z.size());
  const double centre = (n - 1.0) / 2.0;
  const double scale = centre > 0.0 ? centre : 1.0;
  auto t = [&](std::size_t k) { return (static_cast<double>(k) - centre) / scale; };
  double t2Mean = 0.0;
  for (std::size_t k = 0; k < z.size(); ++k) t2Mean += t(k) * t(k);
  t2Mean /= n;
  // Two passes: the second takes up what rounding left of the first.
  for (int pass = 0; pass < 2; ++pass) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, n1 = 0.0, n2 = 0.0;
    for (std::size_t k = 0; k < z.size(); ++k) {
      const double p1 = t(k);
      const double p2 = p1 * p1 - t2Mean;
      s0 += z[k];
      s1 += z[k] * p1;
      s2 += z[k] * p2;
      n1 += p1 * p1;
      n2 += p2 * p2;
    }
    const double a0 = s0 / n;
    const double a1 = n1 > 0.0 ? s1 / n1 : 0.0;
    const double a2 = n2 > 0.0 ? s2 / n2 : 0.0;
    for (std::size_t k = 0; k < z.size(); ++k) {
      const double p1 = t(k);
      z[k] -= a0 + a1 * p1 + a2 * (p1 * p1 - t2Mean);
    }
  }
}

// Lag-1 autocorrelation of z about its mean; false when z has no spread
// beyond the given floor (sum of squares).
bool LagOneCorrelation(const std::vector<double>& z, double floor, double& r1) {
  double mean = 0.0;
  for (double v : z) mean += v;
  mean /= static_cast<double>(z.size());
  double num = 0.0, den = 0.0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    const double a = z[k] - mean;
    den += a * a;
    if (k + 1 < z.size()) num += a * (z[k + 1] - mean);
  }
  if (!std::isfinite(num) || !std::isfinite(den) || !(den > floor)) return false;
  r1 = num / den;
  return std::isfinite(r1);
}

}  // namespace

NoiseEstimate IdentifyNoise(std::span<const double> x, std::int64_t m, int maxDifferences) {
  NoiseEstimate result;
  const auto n = static_cast<std::int64_t>(x.size());
  if (m < 1 || n < 1) return result;
  const std::int64_t count = (n - 1) / m + 1;
  if (count < kMinNoiseSamples) return result;

  std::vector<double> z(static_cast<std::size_t>(count));
  double peak = 0.0;
  for (std::int64_t k = 0; k < count; ++k) {
    const double v = x[static_cast<std::size_t>(k * m)];
    z[static_cast<std::size_t>(k)] = v;
    if (!std::isfinite(v)) peak = v;
    if (!std::isfinite(peak)) break;
    peak = std::max(peak, std::fabs(v));
  }
  if (!std::isfinite(peak)) {
    result.verdict = NoiseVerdict::NotFinite;
    return result;
  }
  if (peak == 0.0) {
    result.verdict = NoiseVerdict::NoResidual;
    return result;
  }
  // The autocorrelation does not depend on scale; working at unit scale keeps
  // the squares of huge or tiny values in range.
  for (double& v : z) v /= peak;
  RemoveQuadratic(z);

  // What is left of an exact quadratic is rounding: a few ulps of the largest
  // sample, all it could tell would be about the arithmetic, not the data.
  constexpr double kRounding = 64.0 * std::numeric_limits<double>::epsilon();
  const double floor = static_cast<double>(count) * kRounding * kRounding;

  int d = 0;
  for (;;) {
    double r1 = 0.0;
    if (!LagOneCorrelation(z, floor, r1)) {
      result.verdict = NoiseVerdict::NoResidual;
      return result;
    }
    const double delta = r1 / (1.0 + r1);  // r1 > -1 for any real series
    if (!std::isfinite(delta)) {
      result.verdict = NoiseVerdict::NoResidual;
      return result;
    }
    if (delta < 0.25 || d >= maxDifferences) {
      result.unrounded = 2.0 - 2.0 * (delta + d);
      const double rounded = 2.0 - 2.0 * d - std::nearbyint(2.0 * delta);  // halves to even
      const double lowest = maxDifferences >= 3 ? -4.0 : -2.0;
      result.alpha = static_cast<int>(std::clamp(rounded, lowest, 2.0));
      result.verdict = NoiseVerdict::Identified;
      return result;
    }
    for (std::size_t k = 0; k + 1 < z.size(); ++k) z[k] = z[k + 1] - z[k];
    z.pop_back();
    ++d;
    if (z.size() < 2) {
      result.verdict = NoiseVerdict::TooFewSamples;
      return result;
    }
  }
}

std::string_view NoiseName(int alpha) {
  switch (alpha) {
    case 2:
      return "white PM";
    case 1:
      return "flicker PM";
    case 0:
      return "white FM";
    case -1:
      return "flicker FM";
    case -2:
      return "random-walk FM";
    case -3:
      return "flicker-walk FM";
    case -4:
      return "random-run FM";
    default:
      return {};
  }
}
