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

// Lag-1 autocorrelation of z about its mean, the autocovariance with divisor
// n over the variance with divisor n - 1 (the usual ratio times (n - 1) / n,
// which settles a few factors on a rounding edge as the reference program
// does); false when z has no spread beyond the given floor (sum of squares).
bool LagOneCorrelation(const std::vector<double>& z, double floor, double& r1) {
  const auto n = static_cast<double>(z.size());
  double mean = 0.0;
  for (double v : z) mean += v;
  mean /= n;
  double num = 0.0, den = 0.0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    const double a = z[k] - mean;
    den += a * a;
    if (k + 1 < z.size()) num += a * (z[k + 1] - mean);
  }
  if (!std::isfinite(num) || !std::isfinite(den) || !(den > floor)) return false;
  r1 = (num / n) / (den / (n - 1.0));
  return std::isfinite(r1);
}

}  // namespace

std::int64_t AveragesAt(std::int64_t n, std::int64_t m) { return m < 1 || n < 1 ? 0 : (n - 1) / m; }

bool LagOneStep(double r1, int d, int maxDifferences, int& alpha) {
  const double delta = r1 / (1.0 + r1);  // r1 > -1 for any real series
  if (delta >= 0.25 && d < maxDifferences) return false;
  const double rounded = 2.0 - 2.0 * d - std::nearbyint(2.0 * delta);  // halves to even
  const double lowest = maxDifferences >= 3 ? -4.0 : -2.0;
  alpha = static_cast<int>(std::clamp(rounded, lowest, 2.0));
  return true;
}

NoiseEstimate IdentifyNoise(std::span<const double> x, std::int64_t m, int maxDifferences) {
  NoiseEstimate result;
  const auto n = static_cast<std::int64_t>(x.size());
  if (m < 1 || n < 1) return result;
  const std::int64_t averages = AveragesAt(n, m);
  if (averages < kMinNoiseSamples) return result;
  const std::int64_t count = averages + 1;

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

  const double floor = static_cast<double>(count) * kRounding * kRounding;
  for (int d = 0;; ++d) {
    double r1 = 0.0;
    if (!LagOneCorrelation(z, floor, r1) || !std::isfinite(r1 / (1.0 + r1))) {
      result.verdict = NoiseVerdict::NoResidual;
      return result;
    }
    int alpha = 0;
    if (LagOneStep(r1, d, maxDifferences, alpha)) {
      result.unrounded = 2.0 - 2.0 * (r1 / (1.0 + r1) + d);
      result.alpha = alpha;
      result.verdict = NoiseVerdict::Identified;
      result.method = NoiseMethod::Acf;
      return result;
    }
    for (std::size_t k = 0; k + 1 < z.size(); ++k) z[k] = z[k + 1] - z[k];
    z.pop_back();
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

bool Exceeds(double measured, double boundary) { return measured > boundary * (1.0 + kTie); }

// Sample variance over half the mean squared first difference of a series,
// from values of about unit scale; NaN where fewer than two or no steps.
double RatioOf(std::span<const double> y) {
  const auto n = static_cast<std::int64_t>(y.size());
  if (n < kMinAverages) return std::nan("");
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
  return RatioOf(y);
}

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
}

int B1Slope(double b1, std::int64_t n) {
  for (int mu = 1; mu >= -1; --mu) {
    if (Exceeds(b1, std::sqrt(ExpectedB1(n, mu) * ExpectedB1(n, mu - 1)))) return mu;
  }
  return -2;
}

int PhaseNoiseFromR(double r, std::int64_t m) {
  return Exceeds(r, std::sqrt(ExpectedR(2, m) * ExpectedR(1, m))) ? 1 : 2;
}

int HadamardStep(double b1OfDifferences, std::int64_t n) {
  if (std::isnan(b1OfDifferences) || n < 2) return -2;
  switch (B1Slope(b1OfDifferences, n)) {
    case 1:
      return -4;
    case 0:
      return -3;
    default:
      return -2;
  }
}

std::int64_t TermCount(const NoiseRule& rule, std::int64_t n, std::int64_t m) {
  const std::int64_t base = rule.termsFromAverages ? AveragesAt(n, m) : n;
  return base - rule.termsPerFactor * m + rule.termsOffset;
}

// At m = 1 the modified and the plain variance coincide, so the split is made
// at m = 2; past 3 m > N, where the modified variance has no value, at the
// largest m that has one. Where none has, flicker PM is taken.
int B1Identification::PhaseNoise(std::int64_t m) const {
  std::int64_t at = std::max<std::int64_t>(m, 2);
  while (at > 2 && 3 * at > static_cast<std::int64_t>(scaled_.size())) at /= 2;
  const double r = RatioR(scaled_, at);
  if (std::isnan(r)) return 1;
  return PhaseNoiseFromR(r, at);
}

NoiseEstimate B1Identification::At(std::int64_t m, int maxDifferences) const {
  return At(m, maxDifferences, AveragesAt(size_, m));
}

NoiseEstimate B1Identification::At(std::int64_t m, int maxDifferences, std::int64_t terms) const {
  NoiseEstimate result;
  if (m < 1 || size_ < 1 || AveragesAt(size_, m) < kMinAverages) return result;
  result.verdict = verdict_;
  if (verdict_ != NoiseVerdict::Identified) return result;
  const std::int64_t n = AveragesAt(size_, m);
  const double b1 = B1Ratio(scaled_, m);
  if (std::isnan(b1)) {
    result.verdict = NoiseVerdict::NoResidual;
    return result;
  }
  result.method = NoiseMethod::B1;
  const int mu = B1Slope(b1, std::max<std::int64_t>(terms, 2));
  int alpha = mu == -2 ? PhaseNoise(m) : -mu - 1;
  if (alpha == -2 && maxDifferences >= 3 && n >= 3) {
    // The first differences of the averages, judged as averages themselves.
    std::vector<double> steps(static_cast<std::size_t>(n));
    for (std::int64_t k = 0; k < n; ++k) {
      const auto i = static_cast<std::size_t>(k);
      const auto step = static_cast<std::size_t>(m);
      steps[i] = scaled_[(i + 1) * step] - scaled_[i * step];
    }
    std::vector<double> differences(steps.size() - 1);
    for (std::size_t k = 0; k + 1 < steps.size(); ++k) differences[k] = steps[k + 1] - steps[k];
    alpha = HadamardStep(RatioOf(differences), n - 2);
  }
  result.alpha = alpha;
  result.unrounded = alpha;
  return result;
}

NoiseEstimate IdentifyNoiseByB1(std::span<const double> x, std::int64_t m, int maxDifferences) {
  return B1Identification(x).At(m, maxDifferences);
}

NoiseEstimate FindNoise(std::span<const double> x, std::int64_t m, int maxDifferences) {
  if (m < 1 || x.empty()) return {};
  if (AveragesAt(static_cast<std::int64_t>(x.size()), m) >= kMinNoiseSamples)
    return IdentifyNoise(x, m, maxDifferences);
  return IdentifyNoiseByB1(x, m, maxDifferences);
}

NoiseRun::NoiseRun(std::span<const double> x, NoiseRule rule) : x_(x), rule_(rule) {}

NoiseEstimate NoiseRun::At(std::int64_t m) {
  for (const auto& [factor, found] : found_)
    if (factor == m) return found;
  const NoiseEstimate found = Measure(m);
  found_.emplace_back(m, found);
  return found;
}

NoiseEstimate NoiseRun::Measure(std::int64_t m) {
  const auto n = static_cast<std::int64_t>(x_.size());
  if (m < 1 || n < 1) return {};
  const std::int64_t averages = AveragesAt(n, m);
  if (averages >= kMinNoiseSamples) return IdentifyNoise(x_, m, rule_.maxDifferences);
  if (averages < rule_.minAverages && m > 1) {
    std::int64_t previous = 0;
    NoiseEstimate before;
    for (const auto& [factor, found] : found_) {
      if (factor < m && factor > previous) {
        previous = factor;
        before = found;
      }
    }
    if (previous == 0) {
      previous = m / 2;
      before = At(previous);
    }
    if (before.Identified()) {
      NoiseEstimate carried = before;
      carried.method = NoiseMethod::Carried;
      carried.foundAt = before.method == NoiseMethod::Carried ? before.foundAt : previous;
      return carried;
    }
    if (averages < kMinAverages) return {};
    return before;
  }
  if (!b1_) b1_ = std::make_unique<B1Identification>(x_);
  return b1_->At(m, rule_.maxDifferences, TermCount(rule_, n, m));
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
