#include "analysis/ConfidenceInterval.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Beyond this many lags the sums are replaced by their large-record limits.
constexpr std::int64_t kMaxLags = 100;

double Binomial(int n, int k) {
  double c = 1.0;
  for (int i = 1; i <= k; ++i) c = c * (n - k + i) / i;
  return c;
}

// The generalised autocovariance kernel of power-law noise alpha; the
// logarithmic kernels are 0 at t = 0 (their limit).
double Kernel(double t, int alpha) {
  const double a = std::fabs(t);
  switch (alpha) {
    case 2:
      return -a;
    case 1:
      return a == 0.0 ? 0.0 : t * t * std::log(a);
    case 0:
      return a * a * a;
    case -1:
      return a == 0.0 ? 0.0 : t * t * t * t * std::log(a);
    case -2:
      return a * a * a * a * a;
    case -3:
      return a == 0.0 ? 0.0 : std::pow(t, 6) * std::log(a);
    case -4:
      return std::pow(a, 7);
    default:
      return std::numeric_limits<double>::quiet_NaN();
  }
}

// The kernel after the averaging filter of width 1/filter; an infinite filter
// is its limit, the kernel of alpha + 2.
double Filtered(double t, double filter, int alpha) {
  if (std::isinf(filter)) return Kernel(t, alpha + 2);
  const double h = 1.0 / filter;
  return filter * filter * (2.0 * Kernel(t, alpha) - Kernel(t - h, alpha) - Kernel(t + h, alpha));
}

// The autocovariance of the d-th differences at lag t (in units of m).
double Differenced(double t, double filter, int alpha, int d) {
  double sum = 0.0;
  for (int k = -d; k <= d; ++k) {
    const double sign = (k % 2 == 0) ? 1.0 : -1.0;
    sum += sign * Binomial(2 * d, d + k) * Filtered(t + k, filter, alpha);
  }
  return sum;
}

double BasicSum(std::int64_t lags, double terms, double stride, double filter, int alpha, int d) {
  const double z0 = Differenced(0.0, filter, alpha, d);
  const double zj = Differenced(static_cast<double>(lags) / stride, filter, alpha, d);
  double sum = z0 * z0 + (1.0 - static_cast<double>(lags) / terms) * zj * zj;
  for (std::int64_t j = 1; j < lags; ++j) {
    const double z = Differenced(static_cast<double>(j) / stride, filter, alpha, d);
    sum += 2.0 * (1.0 - static_cast<double>(j) / terms) * z * z;
  }
  return sum;
}

struct Coefficients {
  double a0 = 0.0;
  double a1 = 0.0;
  bool known = false;
};

// Large-record limits (a0, a1), rows alpha = +2 ... -4, columns d = 1, 2, 3.
constexpr double kNone = 0.0;
constexpr double kModified[7][3][2] = {
    {{2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}, {22.0 / 25, 2.0 / 3}}, {{0.840, 0.345}, {0.997, 0.616}, {1.141, 0.843}},
    {{1.079, 0.368}, {1.033, 0.607}, {1.184, 0.848}},           {{kNone, kNone}, {1.048, 0.534}, {1.180, 0.816}},
    {{kNone, kNone}, {1.302, 0.535}, {1.175, 0.777}},           {{kNone, kNone}, {kNone, kNone}, {1.194, 0.703}},
    {{kNone, kNone}, {kNone, kNone}, {1.489, 0.702}},
};
constexpr double kUnmodified[7][3][2] = {
    {{1.5, 0.5}, {35.0 / 18, 1.0}, {231.0 / 100, 1.5}},       {{78.6, 25.2}, {790.0, 410.0}, {9950.0, 6520.0}},
    {{2.0 / 3, 1.0 / 6}, {2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}}, {{kNone, kNone}, {0.852, 0.375}, {0.997, 0.617}},
    {{kNone, kNone}, {1.079, 0.368}, {1.033, 0.607}},         {{kNone, kNone}, {kNone, kNone}, {1.053, 0.553}},
    {{kNone, kNone}, {kNone, kNone}, {1.302, 0.535}},
};
// alpha = +1, unmodified: sz(0, m) is about b0 + b1 ln m.
constexpr double kFlickerPm[3][2] = {{6.0, 4.0}, {15.23, 12.0}, {47.8, 40.0}};

Coefficients Table(const double (&table)[7][3][2], int alpha, int d) {
  Coefficients c;
  if (alpha > 2 || alpha < -4 || d < 1 || d > 3) return c;
  const double* row = table[2 - alpha][d - 1];
  c.a0 = row[0];
  c.a1 = row[1];
  c.known = c.a0 != kNone;
  return c;
}

double PositiveOrZero(double edf) { return edf > 0.0 && std::isfinite(edf) ? edf : 0.0; }

double EdfFromInverse(double inverse) {
  if (!(inverse > 0.0) || !std::isfinite(inverse)) return 0.0;
  const double edf = 1.0 / inverse;
  return std::isfinite(edf) ? edf : 0.0;
}

}  // namespace

double GreenhallRileyEdf(int alpha, int d, std::int64_t m, std::int64_t filter, std::int64_t stride, std::int64_t n) {
  if (alpha > 2 || alpha < -4 || d < 1 || d > 3 || m < 1 || alpha + 2 * d <= 1) return 0.0;
  if (filter < 1 || stride < 1 || n < 1) return 0.0;
  const double md = static_cast<double>(m);
  const double span = md / static_cast<double>(filter) + md * d;  // L
  if (static_cast<double>(n) < span) return 0.0;
  const double terms = 1.0 + std::floor(static_cast<double>(stride) * (static_cast<double>(n) - span) / md);  // M
  const auto lags = static_cast<std::int64_t>(std::min(terms, static_cast<double>((d + 1) * stride)));        // J
  const double s = static_cast<double>(stride);
  const double r = terms / s;
  const auto jmax = static_cast<double>(kMaxLags);

  if (filter == 1) {  // modified
    if (lags <= kMaxLags) {
      const double z0 = Differenced(0.0, 1.0, alpha, d);
      return EdfFromInverse(BasicSum(lags, terms, s, 1.0, alpha, d) / (terms * z0 * z0));
    }
    if (r > d + 1) {
      const Coefficients c = Table(kModified, alpha, d);
      return c.known ? EdfFromInverse((c.a0 - c.a1 / r) / r) : 0.0;
    }
    const double z0 = Differenced(0.0, 1.0, alpha, d);
    return EdfFromInverse(BasicSum(kMaxLags, jmax, jmax / r, 1.0, alpha, d) / (jmax * z0 * z0));
  }

  if (alpha <= 0) {
    if (lags <= kMaxLags) {
      const double f = md * (d + 1) <= jmax ? md : kInfinity;
      const double z0 = Differenced(0.0, f, alpha, d);
      return EdfFromInverse(BasicSum(lags, terms, s, f, alpha, d) / (terms * z0 * z0));
    }
    if (r > d + 1) {
      const Coefficients c = Table(kUnmodified, alpha, d);
      return c.known ? EdfFromInverse((c.a0 - c.a1 / r) / r) : 0.0;
    }
    const double z0 = Differenced(0.0, kInfinity, alpha, d);
    return EdfFromInverse(BasicSum(kMaxLags, jmax, jmax / r, kInfinity, alpha, d) / (jmax * z0 * z0));
  }

  if (alpha == 1) {
    const double b = kFlickerPm[d - 1][0] + kFlickerPm[d - 1][1] * std::log(md);
    if (lags <= kMaxLags) {
      const double z0 = Differenced(0.0, md, alpha, d);
      return EdfFromInverse(BasicSum(lags, terms, s, md, alpha, d) / (terms * z0 * z0));
    }
    if (r > d + 1) {
      const Coefficients c = Table(kUnmodified, alpha, d);
      return EdfFromInverse((c.a0 - c.a1 / r) / (b * b * r));
    }
    const double mp = jmax / r;
    return EdfFromInverse(BasicSum(kMaxLags, jmax, mp, mp, alpha, d) / (b * b * jmax));
  }

  // White PM, unmodified: the samples are independent, so two differences
  // correlate only where they share samples, at lags of k strides (|k| <= d),
  // by C(2d, d + k) / C(2d, d); pairs at lag k number M - |k| S.
  if (std::ceil(r) > d) {
    const double a0 = Binomial(4 * d, 2 * d) / (Binomial(2 * d, d) * Binomial(2 * d, d));
    const double a1 = d / 2.0;
    return EdfFromInverse((a0 - a1 / r) / terms);
  }
  double sum = 0.0;
  for (int k = -d; k <= d; ++k) {
    const double rho = Binomial(2 * d, d + std::abs(k)) / Binomial(2 * d, d);
    sum += rho * rho * std::max(0.0, 1.0 - std::abs(k) / r);
  }
  return EdfFromInverse(sum / terms);
}

namespace {

// The total variance is a quadratic form Q = sum_i (c_i . x)^2 over the n - 2
// second differences of the reflected record; every c_i has a zero sum, so
// power-law phase noise gives it a finite mean and variance. For Gaussian x,
// EDF = 2 E[Q]^2 / var Q = (sum_i c_i' R c_i)^2 / sum_ik (c_i' R c_k)^2, R the
// covariance of x. At white PM (R = I) the terms are counted exactly: an
// inner difference (1, -2, 1) has |c|^2 = 6 and overlaps its neighbours at m
// and 2m by -4 and 1 (36 + 2 16 + 2 1 = 70 per term); a reflected one,
// 2 x_1 - x_(m+2-i) - 2 x_i + x_(i+m), has |c|^2 = 10, and the m - 1 of them
// at each end share x_1 with weight 4 each, which adds (4 (m - 1))^2 to the
// variance. That shared end sample is why the degrees of freedom fall as 1/m^2
// and not 1/m. Where m > n/2, 2m - n terms reflect at both ends and share
// both end samples. Hence
//   E = 6 (n - 2) + 8 (m - 1) (+ 8 for even m, where one reflected sample
//       meets the centre of its own difference),
//   V = 70 (n - 2) + 32 m^2 + 112 m + 32 max(0, 2m - n)^2,
// and EDF = E^2 / V. Against the exact sums (covariance built term by term):
// within 0.03 % for n = 8640 at every m, 0.3 % at n = 1000, 2.6 % at n = 101.
struct Moments {
  double e = 0.0;  // sum of the eigenvalues of the form (its mean)
  double v = 0.0;  // sum of their squares (half its variance)
  // The two large eigenvalues the end samples give, and the spread of the
  // rest: their sum of cubes over V_l^2 / E_l (1 where they are equal).
  double large1 = 0.0;
  double large2 = 0.0;
  double restSpread = 1.0;
};

Moments TotalDeviationWhitePm(double n, double m) {
  const double e = 6.0 * (n - 2.0) + 8.0 * (m - 1.0) + (std::fmod(m, 2.0) == 0.0 ? 8.0 : 0.0);
  const double both = std::max(0.0, 2.0 * m - n);
  // At m = 1 nothing is reflected and the sum is exact: the first and last
  // terms lack neighbours, 2 (16 + 1) + 2 1 less.
  if (m == 1.0) return {e, 70.0 * (n - 2.0) - 36.0, 0.0, 0.0};
  // Each end sample weighs a = 4m, both b = 4 (2m - n): eigenvalues a +- b.
  return {e, 70.0 * (n - 2.0) + 112.0 * m + 32.0 * m * m + 32.0 * both * both, 4.0 * (m + both), 4.0 * (m - both)};
}

// Flicker PM: the phase's structure function E (x_(j+k) - x_j)^2 is, up to
// scale, D(k) = (2/pi) sum_(j=1..k) 1/(j - 1/2), the limit of fractionally
// integrated white noise of order 1/2 (Kasdin's filter); a zero-sum
// combination has covariance -1/2 sum c_p c_q D(p - q). E is summed exactly:
// (n - 2m) inner terms of variance g0 = 4 D(m) - D(2m), and the reflected
// terms one by one. The variance has no short form; computed exactly (every
// pair of terms) for n up to 8640 it is, within 1 % for m <= n/2 (0.06 %
// at n = 8640),
//   V = 20 m (n - 2) + 0.93 (m g0)^2 + k(m/n) (max(0, 2m - n) g0)^2:
// the inner terms' squared covariances sum to 20 m per term (exactly, for
// this D), and the m - 1 reflected terms at each end share their end sample
// as at white PM. Past m = n/2, where 2m - n terms reflect at both ends, k
// is read from exact sums at n = 8640 (kFlickerPmEnds). Against exact sums
// the degrees of freedom are then within 3 % for n >= 1000 and at most 6 %
// low down to n = 101, where one k for all (0.88) is up to 20 % low.
//
// The shape needs the sum of cubes, which the large eigenvalues rule: two
// of about 0.75 m g0 each for m < 0.4 n, one end's and the other's, which
// past n/2 part into one of up to 1.27 m g0 and one that fades. They too
// are read from the dense form at n = 3000 (its top eigenvalues by Lanczos)
// as multiples of m g0; at n = 1000 and 8640 they differ by 3 % at most.
// The rest spread like the inner terms' own spectrum, whose sum of cubes
// grows with log m from 2.2 V_l^2 / E_l at m = 64 to 3.7 at m = 4096. With
// these the 16 % and 84 % points of the law are within 0.017 and 0.03 of
// those of the dense form's own eigenvalues (n = 1000, 3000, 8640), where
// taking the rest as equal and the large eigenvalues from V's 0.93 put the
// lower one 0.02 ... 0.06 too low. Monte Carlo of stationary flicker PM
// (4000 records of 1000 samples, 2000 of 8640, m = n/4 ... n - 10): the 68 %
// interval covers 67 ... 72 % of records (71 ... 77 % with that simpler shape).
struct FlickerPmEnds {
  double ratio;   // m / n
  double large1;  // the large eigenvalues over m g0 (n = 3000)
  double large2;
  double share;   // the most of V they hold (n = 8640)
  double k;       // V's coefficient past n / 2 (n = 8640)
};
constexpr FlickerPmEnds kFlickerPmEnds[] = {
    {0.02, 0.7862, 0.7862, 0.1714, 0.0},    {0.05, 0.7608, 0.7608, 0.4026, 0.0},
    {0.10, 0.7472, 0.7472, 0.6346, 0.0},    {0.15, 0.7409, 0.7406, 0.7611, 0.0},
    {0.20, 0.7386, 0.7347, 0.8373, 0.0},    {0.25, 0.7391, 0.7283, 0.8870, 0.0},
    {0.30, 0.7507, 0.7101, 0.9201, 0.0},    {0.35, 0.7476, 0.7093, 0.9445, 0.0},
    {0.40, 0.7905, 0.6488, 0.9548, 0.0},    {0.45, 0.7981, 0.6337, 0.9664, 0.0},
    {0.50, 0.7608, 0.6738, 0.9753, 0.0},    {0.55, 0.7948, 0.6382, 0.9813, 0.4480},
    {0.60, 0.9082, 0.5032, 0.9830, 0.5977}, {0.65, 1.0055, 0.3752, 0.9871, 0.6893},
    {0.70, 1.0896, 0.2765, 0.9887, 0.8094}, {0.75, 1.1587, 0.2143, 0.9927, 0.8742},
    {0.80, 1.2117, 0.1575, 0.9949, 0.8813}, {0.85, 1.2485, 0.1068, 0.9955, 0.8542},
    {0.90, 1.2693, 0.0789, 0.9952, 0.8039}, {0.95, 1.2731, 0.1047, 0.9971, 0.7328},
    {0.99, 1.2596, 0.1128, 0.9954, 0.6521}};

// The table's row at m / n, linear between rows and held beyond the ends.
FlickerPmEnds FlickerPmEndsAt(double ratio) {
  const auto* next = std::upper_bound(std::begin(kFlickerPmEnds), std::end(kFlickerPmEnds), ratio,
                                      [](double r, const FlickerPmEnds& row) { return r < row.ratio; });
  if (next == std::begin(kFlickerPmEnds)) return *next;
  if (next == std::end(kFlickerPmEnds)) return *(next - 1);
  const FlickerPmEnds& low = *(next - 1);
  const double f = (ratio - low.ratio) / (next->ratio - low.ratio);
  auto mix = [f](double a, double b) { return a + f * (b - a); };
  return {ratio, mix(low.large1, next->large1), mix(low.large2, next->large2), mix(low.share, next->share),
          mix(low.k, next->k)};
}

double FlickerStructure(std::int64_t k, std::vector<double>& table) {
  const auto index = static_cast<std::size_t>(k < 0 ? -k : k);
  while (table.size() <= index) {
    const auto j = static_cast<double>(table.size());
    table.push_back(table.back() + (2.0 / std::numbers::pi) / (j - 0.5));
  }
  return table[index];
}

Moments TotalDeviationFlickerPm(std::int64_t n, std::int64_t m) {
  std::vector<double> d{0.0};
  d.reserve(static_cast<std::size_t>(2 * m + 2));
  const double g0 = 4.0 * FlickerStructure(m, d) - FlickerStructure(2 * m, d);
  double e = static_cast<double>(std::max<std::int64_t>(0, n - 2 * m)) * g0;
  // The reflected terms, samples numbered from 1 as in the estimator.
  for (std::int64_t i = 2; i <= n - 1; ++i) {
    const bool left = i - m<1, right = i + m> n;
    if (!left && !right) {
      i = std::max(i, n - m);  // skip the inner run
      continue;
    }
    std::int64_t index[6];
    double weight[6];
    int count = 0;
    auto add = [&](std::int64_t k, double w) {
      for (int j = 0; j < count; ++j)
        if (index[j] == k) {
          weight[j] += w;
          return;
        }
      index[count] = k;
      weight[count++] = w;
    };
    if (left) {
      add(1, 2.0);
      add(m - i + 2, -1.0);
    } else {
      add(i - m, 1.0);
    }
    add(i, -2.0);
    if (right) {
      add(n, 2.0);
      add(2 * n - i - m, -1.0);
    } else {
      add(i + m, 1.0);
    }
    double variance = 0.0;
    for (int p = 0; p < count; ++p)
      for (int q = p + 1; q < count; ++q) variance -= weight[p] * weight[q] * FlickerStructure(index[p] - index[q], d);
    e += variance;
  }
  const auto nd = static_cast<double>(n), md = static_cast<double>(m);
  const double both = std::max(0.0, 2.0 * md - nd);
  const FlickerPmEnds ends = FlickerPmEndsAt(md / nd);
  const double heavy = 0.93 * (md * g0) * (md * g0) + ends.k * (both * g0) * (both * g0);
  const double v = 20.0 * md * (nd - 2.0) + heavy;
  // Past 0.6 n the rest hold under 2 % of V, less than the error of V or of
  // the large eigenvalues: they are kept to their measured share.
  double large1 = ends.large1 * md * g0, large2 = ends.large2 * md * g0;
  const double squares = large1 * large1 + large2 * large2;
  if (squares > ends.share * v) {
    const double scale = std::sqrt(ends.share * v / squares);
    large1 *= scale;
    large2 *= scale;
  }
  // The inner terms' spectrum spreads with log m (sum of cubes 2.2 V_l^2 / E_l
  // at m = 64, 3.5 at m = 2048).
  const double spread = std::clamp(0.67 + 0.365 * std::log(md), 1.0, 3.7);
  return {e, v, large1, large2, spread};
}

}  // namespace

double TotalDeviationEdf(int alpha, std::int64_t n, std::int64_t m) {
  if (m < 1 || n < 4 || m > n - 3) return 0.0;
  const auto nd = static_cast<double>(n), md = static_cast<double>(m);
  double b = 0.0, c = 0.0;
  switch (alpha) {
    case 2:
    case 1: {
      const Moments q = alpha == 2 ? TotalDeviationWhitePm(nd, md) : TotalDeviationFlickerPm(n, m);
      return PositiveOrZero(q.e * q.e / q.v);
    }
    case 0:
      b = 1.50, c = 0.0;
      break;
    case -1:
      b = 1.17, c = 0.22;
      break;
    case -2:
      b = 0.93, c = 0.36;
      break;
    default:
      return 0.0;
  }
  return PositiveOrZero(b * nd / md - c);
}

namespace {
// The shape of a quadratic form from E and V, the sums of its eigenvalues and
// of their squares, and a few large eigenvalues given by their sum, sum of
// squares and sum of cubes; the others have a sum of cubes restSpread times
// what it would be were they equal (restSpread 1). Without a large
// eigenvalue (sum 0) or where the rest would not be positive, the plain
// chi-squared law with edf = E^2 / V.
VarianceShape ShapeWithLargeEigenvalues(double e, double v, double largeSum, double largeSquares, double largeCubes,
                                        double restSpread = 1.0) {
  VarianceShape shape;
  shape.edf = e * e / v;
  shape.nu = shape.edf;
  const double lightE = e - largeSum, lightV = v - largeSquares;
  if (!(largeSum > 0.0) || !(lightE > 0.0) || !(lightV > 0.0)) return shape;
  const double cubes = largeCubes + restSpread * lightV * lightV / lightE;
  const double nu = v * v * v / (cubes * cubes);
  const double shift = 1.0 - std::sqrt(nu * v) / e;
  if (!(shift > 0.0 && shift < 1.0) || !std::isfinite(nu)) return shape;
  shape.nu = nu;
  shape.shift = shift;
  return shape;
}
}  // namespace

// The shared end samples make the total variance at phase noise a few large
// terms on many small ones: about c + a (z1^2 + z2^2), z Gaussian, a the
// weight of an end sample. Its lower tail is cut off by c, and a chi-squared
// law with the same mean and variance reaches too low there: the interval
// would be wider than the data need (a 68 % interval covering 80 ... 86 % of
// white PM records of 8640 samples at m >= 1024). Matching the third
// cumulant as well gives sigma^2 / E = s + (1 - s) chi2_nu / nu with
// nu = V^3 / T^2 and s = 1 - sqrt(nu V) / E, where E, V, T are the sums of
// the eigenvalues of the form, of their squares and of their cubes. The end
// samples give two large eigenvalues l1 and l2 (at white PM a + b and a - b,
// b where terms reflect at both ends); the rest, E_l = E - l1 - l2 and
// V_l = V - l1^2 - l2^2, have a sum of cubes of about c V_l^2 / E_l, c = 1
// where they are equal. So T = l1^3 + l2^3 + c V_l^2 / E_l. Monte Carlo of
// the estimator itself (2000 records of 1000 samples, 600 of 8640): the 68 %
// interval covers 67 ... 71 % at white PM (62 % at n = 8640, m = 8192), where
// the chi-squared law gave up to 86 %; at flicker PM see above.
VarianceShape TotalDeviationPhaseShape(int alpha, std::int64_t n, std::int64_t m) {
  if ((alpha != 2 && alpha != 1) || m < 1 || n < 4 || m > n - 3) return {};
  const Moments q = alpha == 2 ? TotalDeviationWhitePm(static_cast<double>(n), static_cast<double>(m))
                               : TotalDeviationFlickerPm(n, m);
  const double l1 = q.large1, l2 = q.large2;
  return ShapeWithLargeEigenvalues(q.e, q.v, l1 + l2, l1 * l1 + l2 * l2, l1 * l1 * l1 + l2 * l2 * l2, q.restSpread);
}

// The overlapping Allan and Hadamard variances are Q = sum over T = n - d m
// terms of (w . x)^2, w the binomial difference of order d at lag m, and at
// flicker PM their terms have the covariance c(t) = -1/2 sum_ab w_a w_b
// D(t + (a - b) m), D the structure function above: a Toeplitz form with
// E = T c(0) and V = sum of its squared entries, EDF = E^2 / V. Where T < m
// every term shares most of its samples with every other, c(t) is about
// c(0) - 3 D(t), and the form has one eigenvalue of a third or more of E on a
// nearly flat vector: the chi-squared law with the same mean and variance
// then reaches too low and the 68 % interval of OADEV at n = 8640, m = 4096
// covered 83 % of records. The shape of the total variance serves: the large
// eigenvalue from the flat vector, lambda = sum_ij c(i - j) / T, the rest
// taken as equal. Against the exact sum of cubes (n = 8640, m = 4096) the
// third cumulant is 2 % low; Monte Carlo of 1000 records of Kasdin's flicker
// PM: the interval covers 67 % (Greenhall and Riley's EDF 6.9: 83 %).
VarianceShape OverlappingFlickerPmShape(int d, std::int64_t n, std::int64_t m) {
  const std::int64_t terms = n - d * m;
  if ((d != 2 && d != 3) || m < 1 || terms < 1 || terms >= m) return {};
  const double second[] = {1.0, -2.0, 1.0};
  const double third[] = {1.0, -3.0, 3.0, -1.0};
  const double* w = d == 2 ? second : third;
  std::vector<double> table{0.0};
  table.reserve(static_cast<std::size_t>(n + 1));
  const auto t = static_cast<double>(terms);
  double e = 0.0, v = 0.0, flat = 0.0;
  for (std::int64_t lag = 0; lag < terms; ++lag) {
    double c = 0.0;
    for (int a = 0; a <= d; ++a)
      for (int b = 0; b <= d; ++b) c -= 0.5 * w[a] * w[b] * FlickerStructure(lag + (a - b) * m, table);
    // Lag 0 once, every other lag on both sides of the diagonal.
    const double count = lag == 0 ? t : 2.0 * (t - static_cast<double>(lag));
    if (lag == 0) e = t * c;
    v += count * c * c;
    flat += count * c;
  }
  if (!(e > 0.0) || !(v > 0.0)) return {};
  const double lambda = flat / t;
  return ShapeWithLargeEigenvalues(e, v, lambda, lambda * lambda, lambda * lambda * lambda);
}

ChiSquaredBounds ShiftedDeviationBounds(double sigma, double shift, double nu, double confidence) {
  // For shift 0 this is DeviationBounds with nu degrees of freedom.
  const ChiSquaredBounds unit = DeviationBounds(1.0, nu, confidence);
  ChiSquaredBounds bounds;
  if (!unit.valid || !(shift >= 0.0 && shift < 1.0) || !(sigma > 0.0) || !std::isfinite(sigma)) return bounds;
  // unit.low = sqrt(nu / Q_high), so Q_high / nu = 1 / low^2.
  const double high = shift + (1.0 - shift) / (unit.low * unit.low);
  const double low = shift + (1.0 - shift) / (unit.high * unit.high);
  bounds.low = sigma / std::sqrt(high);
  bounds.high = sigma / std::sqrt(low);
  bounds.valid = std::isfinite(bounds.low) && std::isfinite(bounds.high) && bounds.low > 0.0;
  return bounds;
}

ChiSquaredBounds DeviationBounds(double sigma, double edf, double confidence) {
  ChiSquaredBounds bounds;
  if (!(sigma > 0.0) || !std::isfinite(sigma) || !(edf > 0.0) || !std::isfinite(edf)) return bounds;
  if (!(confidence > 0.0 && confidence < 1.0)) return bounds;
  try {
    const boost::math::chi_squared_distribution<double> chi2(edf);
    const double tail = (1.0 - confidence) / 2.0;
    // The upper quantile from its own small tail, not from 1 - tail.
    const double upper = boost::math::quantile(boost::math::complement(chi2, tail));
    const double lower = boost::math::quantile(chi2, tail);
    if (!(upper > 0.0) || !(lower > 0.0)) return bounds;
    bounds.low = sigma * std::sqrt(edf / upper);
    bounds.high = sigma * std::sqrt(edf / lower);
    bounds.valid = std::isfinite(bounds.low) && std::isfinite(bounds.high) && bounds.low > 0.0;
  } catch (const std::exception&) {
    bounds.valid = false;  // quantile out of the double range
  }
  return bounds;
}

NoiseRule NoiseRuleOf(StabilityMeasure measure) {
  NoiseRule rule;
  switch (measure) {
    case StabilityMeasure::Allan:
      return {2, 10, true, 0, -1};
    case StabilityMeasure::OverlappingAllan:
      return {2, 8, false, 2, 0};
    case StabilityMeasure::ModifiedAllan:
      return {2, 8, false, 3, 1};
    case StabilityMeasure::Hadamard:
      return {3, 10, true, 0, -2};
    case StabilityMeasure::OverlappingHadamard:
      return {3, 8, false, 3, 0};
    case StabilityMeasure::Total:
      return {2, 4, false, 0, -2};
    default:
      return rule;
  }
}

bool HasConfidenceInterval(StabilityMeasure measure) {
  switch (measure) {
    case StabilityMeasure::Allan:
    case StabilityMeasure::OverlappingAllan:
    case StabilityMeasure::ModifiedAllan:
    case StabilityMeasure::Hadamard:
    case StabilityMeasure::OverlappingHadamard:
    case StabilityMeasure::Total:
      return true;
    default:
      return false;
  }
}

namespace {

StabilityInterval IntervalFromNoise(StabilityMeasure measure, const NoiseEstimate& noise, std::int64_t n,
                                    std::int64_t m, double value) {
  StabilityInterval interval;
  switch (noise.verdict) {
    case NoiseVerdict::Identified:
      break;
    case NoiseVerdict::TooFewSamples:
      interval.gap = IntervalGap::TooFewSamples;
      return interval;
    case NoiseVerdict::NoResidual:
      interval.gap = IntervalGap::NoResidual;
      return interval;
    case NoiseVerdict::NotFinite:
      interval.gap = IntervalGap::NotFinite;
      return interval;
  }
  // Where the measure has no term at m there is nothing to bound.
  const std::int64_t terms = TermCount(NoiseRuleOf(measure), n, m);
  if (terms < 1 || (measure == StabilityMeasure::Total && m > n - 3)) {
    interval.gap = IntervalGap::TooFewSamples;
    return interval;
  }
  interval.alpha = noise.alpha;
  interval.method = noise.method;
  interval.carriedFrom = static_cast<double>(noise.foundAt);
  const int a = noise.alpha;
  double edf = 0.0;
  switch (measure) {
    case StabilityMeasure::Allan:
      edf = GreenhallRileyEdf(a, 2, m, m, 1, n);
      break;
    case StabilityMeasure::OverlappingAllan:
      edf = GreenhallRileyEdf(a, 2, m, m, m, n);
      break;
    case StabilityMeasure::ModifiedAllan:
      edf = GreenhallRileyEdf(a, 2, m, 1, m, n);
      break;
    case StabilityMeasure::Hadamard:
      edf = GreenhallRileyEdf(a, 3, m, m, 1, n);
      break;
    case StabilityMeasure::OverlappingHadamard:
      edf = GreenhallRileyEdf(a, 3, m, m, m, n);
      break;
    case StabilityMeasure::Total:
      edf = TotalDeviationEdf(a, n, m);
      break;
    default:
      break;
  }
  // Where few terms overlap at flicker PM, the law of the overlapping
  // variances has its own shape (see OverlappingFlickerPmShape).
  VarianceShape shape;
  if (a == 1 && (measure == StabilityMeasure::OverlappingAllan || measure == StabilityMeasure::OverlappingHadamard)) {
    shape = OverlappingFlickerPmShape(measure == StabilityMeasure::OverlappingAllan ? 2 : 3, n, m);
    if (shape.edf > 0.0) edf = shape.edf;
  } else if (measure == StabilityMeasure::Total && (a == 2 || a == 1)) {
    shape = TotalDeviationPhaseShape(a, n, m);
  }
  // A sum of k squared Gaussian terms has at most k degrees of freedom, all
  // of them only if the terms are independent and alike.
  edf = std::min(edf, static_cast<double>(terms));
  ChiSquaredBounds bounds = DeviationBounds(value, edf);
  if (shape.shift > 0.0 && edf == shape.edf) bounds = ShiftedDeviationBounds(value, shape.shift, shape.nu);
  if (!bounds.valid) {
    interval.gap = IntervalGap::NoNoiseModel;
    return interval;
  }
  interval.gap = IntervalGap::None;
  interval.edf = edf;
  interval.low = bounds.low;
  interval.high = bounds.high;
  return interval;
}

}  // namespace

StabilityInterval IntervalOf(StabilityMeasure measure, std::span<const double> x, std::int64_t m, double value) {
  return ConfidenceIntervals(x).Of(measure, m, value);
}

NoiseEstimate ConfidenceIntervals::Noise(StabilityMeasure measure, std::int64_t m) {
  for (auto& [owner, run] : runs_)
    if (owner == measure) return run.At(m);
  runs_.emplace_back(measure, NoiseRun(x_, NoiseRuleOf(measure)));
  return runs_.back().second.At(m);
}

StabilityInterval ConfidenceIntervals::Of(StabilityMeasure measure, std::int64_t m, double value) {
  if (!HasConfidenceInterval(measure) || m < 1) return {};
  StabilityInterval interval =
      IntervalFromNoise(measure, Noise(measure, m), static_cast<std::int64_t>(x_.size()), m, value);
  interval.carriedFrom *= tau0_;
  return interval;
}

StabilityInterval ConfidenceIntervals::Of(StabilityMeasure measure, const StabilityPoint& point) {
  const double factor = point.tau / tau0_;
  // Theo1 points lie at 0.75 m tau0 and carry none; neither does a tau that is
  // no whole multiple of tau0.
  if (!HasConfidenceInterval(measure) || !(factor >= 1.0 && factor < 1e15)) return {};
  const auto m = static_cast<std::int64_t>(std::llround(factor));
  if (std::fabs(factor - static_cast<double>(m)) > 1e-6 * factor) return {};
  return Of(measure, m, point.value);
}

std::vector<StabilityInterval> IntervalsOf(StabilityMeasure measure, std::span<const double> x,
                                           std::span<const StabilityPoint> points, double tau0) {
  ConfidenceIntervals run(x, tau0);
  std::vector<StabilityInterval> intervals;
  intervals.reserve(points.size());
  for (const StabilityPoint& p : points) intervals.push_back(run.Of(measure, p));
  return intervals;
}
