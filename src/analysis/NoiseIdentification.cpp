#include "analysis/NoiseIdentification.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "analysis/Stability.h"

namespace {

// What is left of an exact quadratic is rounding: a few ulps of the largest
// sample, all it could tell would be about the arithmetic, not the data.
constexpr double kRounding = 64.0 * std::numeric_limits<double>::epsilon();

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
      result.method = NoiseMethod::Acf;
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

int AllanVarianceSlope(int alpha) { return alpha >= 1 ? -2 : -alpha - 1; }

double ExpectedB1(std::int64_t n, int mu) {
  if (n < 2) return std::nan("");
  const auto nd = static_cast<double>(n);
  if (mu == 0) return nd * std::log(nd) / (2.0 * (nd - 1.0) * std::numbers::ln2);
  return nd * (1.0 - std::pow(nd, mu)) / (2.0 * (nd - 1.0) * (1.0 - std::pow(2.0, mu)));
}

namespace {

// Ratios this close to a boundary are taken as on it: closer than that the
// data's last bits, not its noise, would decide.
constexpr double kTie = 1e-9;

// The largest magnitude of x; infinite or NaN when x holds such a value.
double Peak(std::span<const double> x) {
  double peak = 0.0;
  for (double v : x) {
    if (!std::isfinite(v)) return v;
    peak = std::max(peak, std::fabs(v));
  }
  return peak;
}

// x scaled by a power of two so its peak lies in [0.5, 1): exact, so the
// ratios do not depend on the data's unit.
std::vector<double> Scaled(std::span<const double> x, double peak) {
  int exponent = 0;
  std::frexp(peak, &exponent);
  std::vector<double> s(x.begin(), x.end());
  for (double& v : s) v = std::ldexp(v, -exponent);
  return s;
}

// Sample variance over Allan variance of the block averages of the
// differences of x, from finite x whose peak is about 1.
double B1Ratio(std::span<const double> x, std::int64_t m) {
  const std::int64_t n = (static_cast<std::int64_t>(x.size()) - 1) / m;
  if (n < kMinAverages) return std::nan("");
  // The average of a block is its phase step over m tau0; the common factor
  // cancels in the ratio.
  std::vector<double> y(static_cast<std::size_t>(n));
  for (std::int64_t k = 0; k < n; ++k)
    y[static_cast<std::size_t>(k)] = x[static_cast<std::size_t>((k + 1) * m)] - x[static_cast<std::size_t>(k * m)];
  double mean = 0.0;
  for (double v : y) mean += v;
  mean /= static_cast<double>(n);
  double spread = 0.0, steps = 0.0;
  for (std::size_t k = 0; k < y.size(); ++k) {
    spread += (y[k] - mean) * (y[k] - mean);
    if (k + 1 < y.size()) steps += (y[k + 1] - y[k]) * (y[k + 1] - y[k]);
  }
  if (!(steps > static_cast<double>(n) * kRounding * kRounding)) return std::nan("");
  // s^2 = spread / (n - 1), sigma_A^2 = steps / (2 (n - 1)).
  return 2.0 * spread / steps;
}

bool Exceeds(double measured, double boundary) { return measured > boundary * (1.0 + kTie); }

// R(n) of finite data whose peak is about 1; NaN where either variance has no value.
double RatioR(std::span<const double> x, std::int64_t m) {
  const double modified = ModifiedAllanDeviation(x, m, 1.0);
  const double plain = OverlappingAllanDeviation(x, m, 1.0);
  if (!(modified > 0.0) || !(plain > 0.0)) return std::nan("");
  const double r = (modified / plain) * (modified / plain);
  return std::isfinite(r) ? r : std::nan("");
}

}  // namespace

double MeasuredB1(std::span<const double> x, std::int64_t m) {
  if (m < 1 || x.size() < 3) return std::nan("");
  const double peak = Peak(x);
  if (!std::isfinite(peak) || peak == 0.0) return std::nan("");
  return B1Ratio(Scaled(x, peak), m);
}

double ExpectedR(int alpha, std::int64_t m) {
  const auto md = static_cast<double>(m);
  if (m < 1) return std::nan("");
  if (alpha == 2) return 1.0 / md;
  if (alpha != 1) return std::nan("");
  const double pi2 = std::numbers::pi * std::numbers::pi;
  const double modified = 3.0 * std::log(256.0 / 27.0) / (8.0 * pi2);
  const double plain = (1.038 + 3.0 * std::log(2.0 * std::numbers::pi * 0.5 * md)) / (4.0 * pi2);
  return modified / plain;
}

double MeasuredR(std::span<const double> x, std::int64_t m) {
  if (m < 1) return std::nan("");
  const double peak = Peak(x);
  if (!std::isfinite(peak) || peak == 0.0) return std::nan("");
  return RatioR(Scaled(x, peak), m);
}

B1Identification::B1Identification(std::span<const double> x) : size_(static_cast<std::int64_t>(x.size())) {
  const double peak = Peak(x);
  if (!std::isfinite(peak)) {
    verdict_ = NoiseVerdict::NotFinite;
    return;
  }
  verdict_ = NoiseVerdict::NoResidual;
  if (peak == 0.0 || x.size() < 2) return;
  scaled_ = Scaled(x, peak);
  std::vector<double> residual = scaled_;
  RemoveQuadratic(residual);
  double squares = 0.0;
  for (double v : residual) squares += v * v;
  if (!(squares > static_cast<double>(residual.size()) * kRounding * kRounding)) return;
  verdict_ = NoiseVerdict::Identified;
  frequency_.resize(scaled_.size() - 1);
  for (std::size_t i = 0; i + 1 < scaled_.size(); ++i) frequency_[i] = scaled_[i + 1] - scaled_[i];
}

// At m = 1 the modified and the plain variance coincide, so the split is made
// at m = 2; past 3 m > N, where the modified variance has no value, at the
// largest m that has one. Where none has, flicker PM is taken.
int B1Identification::PhaseNoise(std::int64_t m) const {
  std::int64_t at = std::max<std::int64_t>(m, 2);
  while (at > 2 && 3 * at > static_cast<std::int64_t>(scaled_.size())) at /= 2;
  const double r = RatioR(scaled_, at);
  if (std::isnan(r)) return 1;
  const double boundary = std::sqrt(ExpectedR(2, at) * ExpectedR(1, at));
  return Exceeds(r, boundary) ? 1 : 2;
}

NoiseEstimate B1Identification::At(std::int64_t m, int maxDifferences) const {
  NoiseEstimate result;
  if (m < 1 || size_ < 1 || (size_ - 1) / m < kMinAverages) return result;
  result.verdict = verdict_;
  if (verdict_ != NoiseVerdict::Identified) return result;
  const std::int64_t n = (size_ - 1) / m;
  const double b1 = B1Ratio(scaled_, m);
  if (std::isnan(b1)) {
    result.verdict = NoiseVerdict::NoResidual;
    return result;
  }
  result.method = NoiseMethod::B1;
  auto found = [&result](int alpha) {
    result.alpha = alpha;
    result.unrounded = alpha;
    return result;
  };
  // Flicker-walk and random-run FM: on the frequencies taken as phase each
  // looks like the type two steps less divergent, where the B1 table holds.
  if (maxDifferences >= 3) {
    const double b1f = B1Ratio(frequency_, m);
    const std::int64_t nf = (static_cast<std::int64_t>(frequency_.size()) - 1) / m;
    for (int alpha = -4; alpha <= -3 && !std::isnan(b1f); ++alpha) {
      const double here = ExpectedB1(nf, AllanVarianceSlope(alpha + 2));
      const double next = ExpectedB1(nf, AllanVarianceSlope(alpha + 3));
      if (Exceeds(b1f, std::sqrt(here * next))) return found(alpha);
    }
  }
  for (int alpha = -2; alpha <= 0; ++alpha) {
    const double here = ExpectedB1(n, AllanVarianceSlope(alpha));
    const double next = ExpectedB1(n, AllanVarianceSlope(alpha + 1));
    if (Exceeds(b1, std::sqrt(here * next))) return found(alpha);
  }
  return found(PhaseNoise(m));
}

NoiseEstimate IdentifyNoiseByB1(std::span<const double> x, std::int64_t m, int maxDifferences) {
  return B1Identification(x).At(m, maxDifferences);
}

NoiseEstimate FindNoise(std::span<const double> x, std::int64_t m, int maxDifferences) {
  if (m < 1 || x.empty()) return {};
  const auto decimated = (static_cast<std::int64_t>(x.size()) - 1) / m + 1;
  if (decimated >= kMinNoiseSamples) return IdentifyNoise(x, m, maxDifferences);
  return IdentifyNoiseByB1(x, m, maxDifferences);
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
