#include "analysis/TotalDeviations.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "analysis/FftCorrelation.h"
#include "analysis/Stability.h"

namespace {

double FiniteOrZero(double value) { return std::isfinite(value) && value >= 0.0 ? value : 0.0; }

// Sum over one segment s[0 .. 3m) of D_j^2, j < 6m. buffer holds 9m + 1
// doubles. The second difference of m-sample sums is the third difference
// of the prefix sums of the extended segment, which needs no sums of m
// terms of its own.
double SegmentSum(const double* s, std::int64_t m, std::vector<double>& pu, std::vector<double>& pe) {
  const std::int64_t len = 3 * m;
  const std::int64_t half = len / 2;
  const std::int64_t rest = len - half;
  // Prefix sums of the segment, then of the segment less its line.
  pu[0] = 0.0;
  for (std::int64_t i = 0; i < len; ++i) pu[static_cast<std::size_t>(i + 1)] = pu[static_cast<std::size_t>(i)] + s[i];
  const double firstMean = pu[static_cast<std::size_t>(half)] / static_cast<double>(half);
  const double lastMean =
      (pu[static_cast<std::size_t>(len)] - pu[static_cast<std::size_t>(rest)]) / static_cast<double>(half);
  // The two halves' means lie rest samples apart.
  const double slope = (lastMean - firstMean) / static_cast<double>(rest);
  pu[0] = 0.0;
  for (std::int64_t i = 0; i < len; ++i) {
    pu[static_cast<std::size_t>(i + 1)] = pu[static_cast<std::size_t>(i)] + (s[i] - slope * static_cast<double>(i));
  }
  // Prefix sums of [reversed u, u, reversed u].
  const double total = pu[static_cast<std::size_t>(len)];
  for (std::int64_t k = 0; k <= len; ++k) {
    pe[static_cast<std::size_t>(k)] = total - pu[static_cast<std::size_t>(len - k)];
    pe[static_cast<std::size_t>(len + k)] = total + pu[static_cast<std::size_t>(k)];
    pe[static_cast<std::size_t>(2 * len + k)] = 3.0 * total - pu[static_cast<std::size_t>(len - k)];
  }
  const double* p = pe.data();
  double sum = 0.0;
  for (std::int64_t j = 0; j < 2 * len; ++j) {
    const double d = p[j + len] - 3.0 * p[j + 2 * m] + 3.0 * p[j + m] - p[j];
    sum += d * d;
  }
  return sum;
}

constexpr std::int64_t kSegmentsPerTask = 256;
constexpr std::int64_t kFastFromFactor = 16;
constexpr double kFastCancellationLimit = 1e-13;
constexpr double kDirectTermBudget = 1e8;

}  // namespace

std::vector<double> WithoutLine(std::span<const double> x) {
  std::vector<double> v(x.begin(), x.end());
  const auto n = static_cast<std::int64_t>(v.size());
  if (n == 0) return v;
  const double first = v.front();
  for (double& value : v) value -= first;
  if (n < 2) return v;
  // Least-squares line over centred time, in two passes for accuracy.
  const double centre = 0.5 * static_cast<double>(n - 1);
  double mean = 0.0;
  for (double value : v) mean += value;
  mean /= static_cast<double>(n);
  double sxy = 0.0;
  double sxx = 0.0;
  for (std::int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) - centre;
    sxy += t * (v[static_cast<std::size_t>(i)] - mean);
    sxx += t * t;
  }
  const double slope = sxy / sxx;
  if (mean == 0.0 && slope == 0.0) return v;
  for (std::int64_t i = 0; i < n; ++i) {
    v[static_cast<std::size_t>(i)] -= mean + slope * (static_cast<double>(i) - centre);
  }
  return v;
}

double DirectReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop) {
  const auto length = static_cast<std::int64_t>(v.size());
  if (m < 1 || 3 * m > length) return 0.0;
  const std::int64_t segments = length - 3 * m + 1;
  const std::int64_t tasks = (segments + kSegmentsPerTask - 1) / kSegmentsPerTask;
  std::vector<double> partial(static_cast<std::size_t>(tasks), 0.0);
  std::atomic<std::int64_t> next{0};
  std::atomic<bool> stopped{false};
  auto work = [&] {
    std::vector<double> pu(static_cast<std::size_t>(3 * m + 1));
    std::vector<double> pe(static_cast<std::size_t>(9 * m + 1));
    for (std::int64_t t = next++; t < tasks; t = next++) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
        stopped = true;
        return;
      }
      const std::int64_t end = std::min(segments, (t + 1) * kSegmentsPerTask);
      double sum = 0.0;
      for (std::int64_t n = t * kSegmentsPerTask; n < end; ++n) sum += SegmentSum(v.data() + n, m, pu, pe);
      partial[static_cast<std::size_t>(t)] = sum;
    }
  };
  std::vector<std::thread> helpers;
  const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
  if (static_cast<double>(segments) * static_cast<double>(m) > 1e5 && tasks > 1) {
    const auto extra = static_cast<unsigned>(std::min<std::int64_t>(cores, tasks) - 1);
    for (unsigned k = 0; k < extra; ++k) {
      try {
        helpers.emplace_back(work);
      } catch (...) {
        break;
      }
    }
  }
  work();
  for (std::thread& t : helpers) t.join();
  if (stopped) return -1.0;
  // Added in task order, so the result does not depend on the thread count.
  double sum = 0.0;
  for (double p : partial) sum += p;
  const double md = static_cast<double>(m);
  // Each D_j is the third prefix difference over m.
  return sum / (md * md) / (6.0 * md * static_cast<double>(segments));
}

namespace {

struct FastParts {
  double total = 0.0;               // sum over segments of u^T Q u, Q without its factor 2 / m^2
  double magnitude = 0.0;           // the size of the largest terms that cancelled in it
  double slopeSum = 0.0;            // sum over segments of g.s
  double rampQ = 0.0;               // ramp^T Q ramp
  std::vector<double> q;            // Q ramp
  std::vector<long double> prefix;  // prefix sums of the data
  bool stopped = false;
};

FastParts FastForm(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop) {
  FastParts parts;
  const auto len = static_cast<std::int64_t>(v.size());
  const std::int64_t L = 3 * m;
  const std::int64_t S = len - L + 1;  // segments
  const std::int64_t h = L / 2;
  const std::int64_t c = L - h;
  auto at = [](auto& vec, std::int64_t i) -> auto& { return vec[static_cast<std::size_t>(i)]; };
  auto Stopped = [&parts, stop] {
    parts.stopped = stop != nullptr && stop->load(std::memory_order_relaxed);
    return parts.stopped;
  };
  FftCorrelation fft;

  // phi: circular autocorrelation (period 6m) of the filter 1..1, -2..-2,
  // 1..1. Its values are integers, so rounding the transform's result makes
  // it exact.
  std::vector<double> w(static_cast<std::size_t>(L), 1.0);
  for (std::int64_t k = m; k < 2 * m; ++k) at(w, k) = -2.0;
  std::vector<double> r(static_cast<std::size_t>(L));
  fft.AutoLagProducts(w, r);
  for (double& value : r) value = std::nearbyint(value);
  const std::int64_t period = 2 * L;
  std::vector<double> phi(static_cast<std::size_t>(period));
  for (std::int64_t d = 0; d < period; ++d) {
    at(phi, d) = (d < L ? at(r, d) : 0.0) + (period - d < L ? at(r, period - d) : 0.0);
  }
  // Same-parity prefix sums of phi: ps2(k) = phi(k) + phi(k - 2) + ...
  std::vector<double> ps2Table(static_cast<std::size_t>(period));
  for (std::int64_t k = 0; k < period; ++k) at(ps2Table, k) = at(phi, k) + (k >= 2 ? at(ps2Table, k - 2) : 0.0);
  auto ps2 = [&](std::int64_t k) { return k < 0 ? 0.0 : at(ps2Table, k); };
  if (Stopped()) return parts;

  // Every pair of samples weighted by the number of segments holding both,
  // Toeplitz in the interior; the two blocks of L - 1 samples at the ends
  // hold the pairs that fewer segments see.
  std::vector<double> g(static_cast<std::size_t>(L));
  fft.AutoLagProducts(v, g);
  const std::int64_t block = L - 1;
  const std::span<const double> left = v.subspan(0, static_cast<std::size_t>(block));
  const std::span<const double> right = v.subspan(static_cast<std::size_t>(S), static_cast<std::size_t>(block));
  std::vector<double> leftWeighted(static_cast<std::size_t>(block)), rightWeighted(static_cast<std::size_t>(block));
  for (std::int64_t t = 0; t < block; ++t) {
    at(leftWeighted, t) = static_cast<double>(block - t) * left[static_cast<std::size_t>(t)];
    at(rightWeighted, t) = static_cast<double>(t + 1) * right[static_cast<std::size_t>(t)];
  }
  std::vector<double> leftPlain(static_cast<std::size_t>(block)), rightPlain(static_cast<std::size_t>(block));
  std::vector<double> leftLag(static_cast<std::size_t>(block)), rightLag(static_cast<std::size_t>(block));
  fft.AutoLagProducts(left, leftPlain);
  fft.AutoLagProducts(right, rightPlain);
  fft.LagProducts(left, leftWeighted, 0, block - 1, leftLag);
  fft.LagProducts(rightWeighted, right, 0, block - 1, rightLag);
  // Self-convolutions of the end blocks: lag k of a block against its
  // reverse is the convolution at block - 1 - k.
  const std::int64_t convs = 2 * block - 1;
  std::vector<double> reversed(static_cast<std::size_t>(block));
  std::vector<double> leftConv(static_cast<std::size_t>(convs)), rightConv(static_cast<std::size_t>(convs));
  std::reverse_copy(left.begin(), left.end(), reversed.begin());
  fft.LagProducts(left, reversed, -(block - 1), block - 1, leftConv);
  std::reverse_copy(right.begin(), right.end(), reversed.begin());
  fft.LagProducts(right, reversed, -(block - 1), block - 1, rightConv);
  if (Stopped()) return parts;

  double quadratic = 0.0;
  parts.magnitude = (static_cast<double>(L) * at(phi, 0) + ps2(2 * L - 1)) * at(g, 0);
  for (std::int64_t d = 0; d < L; ++d) {
    const double twice = d == 0 ? 1.0 : 2.0;
    const double interior = static_cast<double>(L - d) * at(phi, d) + ps2(2 * L - 1 - d) - ps2(d - 1);
    double term = interior * at(g, d);
    if (d < block) {
      term -= at(phi, d) * at(leftLag, d) + ps2(2 * L - 1 - d) * at(leftPlain, d);
      term -= at(phi, d) * at(rightLag, d) - ps2(d - 1) * at(rightPlain, d);
    }
    quadratic += twice * term;
  }
  for (std::int64_t k = 0; k < convs; ++k) {
    const std::int64_t sigma = block - 1 - (k - (block - 1));  // lag k - (block - 1)
    quadratic += ps2(sigma + 1) * (at(leftConv, k) - at(rightConv, k));
  }

  // The removed lines: u = s - (g.s) ramp, so the form loses
  // 2 (g.s)(q.s) - (ramp.q)(g.s)^2 with q = Q ramp.
  std::vector<double> ramp(static_cast<std::size_t>(L)), rampReversed(static_cast<std::size_t>(L));
  for (std::int64_t a = 0; a < L; ++a) {
    at(ramp, a) = static_cast<double>(a);
    at(rampReversed, a) = static_cast<double>(L - 1 - a);
  }
  std::vector<double> phiAround(static_cast<std::size_t>(2 * L - 1)), phiAfter(static_cast<std::size_t>(2 * L - 1));
  for (std::int64_t e = 0; e < 2 * L - 1; ++e) {
    at(phiAround, e) = at(phi, std::abs(e - (L - 1)));
    at(phiAfter, e) = at(phi, e + 1);
  }
  std::vector<double> toeplitz(static_cast<std::size_t>(L)), hankel(static_cast<std::size_t>(L));
  fft.LagProducts(rampReversed, phiAround, 0, L - 1, toeplitz);
  fft.LagProducts(ramp, phiAfter, 0, L - 1, hankel);
  std::vector<double> q(static_cast<std::size_t>(L));
  double rampQ = 0.0;
  for (std::int64_t a = 0; a < L; ++a) {
    at(q, a) = at(toeplitz, a) + at(hankel, a);
    rampQ += static_cast<double>(a) * at(q, a);
  }
  std::vector<double> qs(static_cast<std::size_t>(S));
  fft.LagProducts(q, v, 0, S - 1, qs);
  if (Stopped()) return parts;
  std::vector<long double> prefix(static_cast<std::size_t>(len + 1), 0.0L);
  for (std::int64_t t = 0; t < len; ++t) at(prefix, t + 1) = at(prefix, t) + v[static_cast<std::size_t>(t)];
  const long double hc = static_cast<long double>(h) * static_cast<long double>(c);
  double cross = 0.0;
  double slopes = 0.0;
  for (std::int64_t n = 0; n < S; ++n) {
    const auto gs =
        static_cast<double>(((at(prefix, n + L) - at(prefix, n + c)) - (at(prefix, n + h) - at(prefix, n))) / hc);
    cross += gs * at(qs, n);
    slopes += gs * gs;
  }
  double slopeSum = 0.0;
  for (std::int64_t n = 0; n < S; ++n) {
    slopeSum +=
        static_cast<double>(((at(prefix, n + L) - at(prefix, n + c)) - (at(prefix, n + h) - at(prefix, n))) / hc);
  }
  parts.total = quadratic - 2.0 * cross + rampQ * slopes;
  // The removed lines' share cancels too where the segments are steep.
  parts.magnitude = std::max(parts.magnitude, std::fabs(rampQ * slopes));
  parts.slopeSum = slopeSum;
  parts.rampQ = rampQ;
  parts.q = std::move(q);
  parts.prefix = std::move(prefix);
  return parts;
}

// Q z for one segment z (without the factor 2 / m^2), from the segment's own
// filter outputs y_j: Q z is half the gradient of sum y_j^2 / 2, and every
// y_j sees the three mirrored copies of z through the block filter.
std::vector<double> FormTimes(const std::vector<double>& z, std::int64_t m) {
  const std::int64_t L = 3 * m;
  std::vector<double> pu(static_cast<std::size_t>(L + 1)), pe(static_cast<std::size_t>(3 * L + 1));
  pu[0] = 0.0;
  for (std::int64_t i = 0; i < L; ++i)
    pu[static_cast<std::size_t>(i + 1)] = pu[static_cast<std::size_t>(i)] + z[static_cast<std::size_t>(i)];
  const double total = pu[static_cast<std::size_t>(L)];
  for (std::int64_t k = 0; k <= L; ++k) {
    pe[static_cast<std::size_t>(k)] = total - pu[static_cast<std::size_t>(L - k)];
    pe[static_cast<std::size_t>(L + k)] = total + pu[static_cast<std::size_t>(k)];
    pe[static_cast<std::size_t>(2 * L + k)] = 3.0 * total - pu[static_cast<std::size_t>(L - k)];
  }
  // Prefix sums of y_j, j < 6m.
  std::vector<double> yp(static_cast<std::size_t>(2 * L + 1), 0.0);
  for (std::int64_t j = 0; j < 2 * L; ++j) {
    const double* p = pe.data();
    const double y = p[j + L] - 3.0 * p[j + 2 * m] + 3.0 * p[j + m] - p[j];
    yp[static_cast<std::size_t>(j + 1)] = yp[static_cast<std::size_t>(j)] + y;
  }
  auto ySum = [&](std::int64_t lo, std::int64_t hi) {  // y_lo ... y_(hi - 1), clipped
    lo = std::clamp<std::int64_t>(lo, 0, 2 * L);
    hi = std::clamp<std::int64_t>(hi, 0, 2 * L);
    return hi > lo ? yp[static_cast<std::size_t>(hi)] - yp[static_cast<std::size_t>(lo)] : 0.0;
  };
  // R_k = sum_j y_j w_(k - j), w = 1 (m times), -2 (m times), 1 (m times).
  auto rk = [&](std::int64_t k) {
    return ySum(k - m + 1, k + 1) - 2.0 * ySum(k - 2 * m + 1, k - m + 1) + ySum(k - 3 * m + 1, k - 2 * m + 1);
  };
  std::vector<double> qz(static_cast<std::size_t>(L));
  for (std::int64_t a = 0; a < L; ++a) {
    qz[static_cast<std::size_t>(a)] = 0.5 * (rk(L - 1 - a) + rk(L + a) + rk(3 * L - 1 - a));
  }
  return qz;
}

}  // namespace

double FastReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop,
                                double* cancellation) {
  if (cancellation != nullptr) *cancellation = 0.0;
  const auto len = static_cast<std::int64_t>(v.size());
  const std::int64_t L = 3 * m;
  if (m < 1 || L > len) return 0.0;
  if (L < 3) return DirectReflectedSegmentMean(v, m, stop);
  const std::int64_t S = len - L + 1;
  // A drift (quadratic phase) dominates long records and its filter output
  // is small: left in, the sums below would cancel it away. It is taken out
  // by least squares, and its exact share added back: after each segment's
  // line is removed, the quadratic leaves the same vector z in every segment.
  const double centre = 0.5 * static_cast<double>(len - 1);
  double s0 = 0.0, s2 = 0.0, s4 = 0.0, sy = 0.0, sty = 0.0, st2y = 0.0;
  for (std::int64_t i = 0; i < len; ++i) {
    const double t = static_cast<double>(i) - centre;
    const double y = v[static_cast<std::size_t>(i)];
    s0 += 1.0, s2 += t * t, s4 += t * t * t * t;
    sy += y, sty += t * y, st2y += t * t * y;
  }
  const double det = s0 * s4 - s2 * s2;
  const double curve = det > 0.0 ? (s0 * st2y - s2 * sy) / det : 0.0;
  const double level = det > 0.0 ? (s4 * sy - s2 * st2y) / det : 0.0;
  const double slope = s2 > 0.0 ? sty / s2 : 0.0;
  std::vector<double> rest(v.begin(), v.end());
  if (curve != 0.0 && std::isfinite(curve)) {
    for (std::int64_t i = 0; i < len; ++i) {
      const double t = static_cast<double>(i) - centre;
      rest[static_cast<std::size_t>(i)] -= level + slope * t + curve * t * t;
    }
  }
  const FastParts parts = FastForm(rest, m, stop);
  if (parts.stopped) return -1.0;
  double total = parts.total;
  if (curve != 0.0 && std::isfinite(curve)) {
    const std::int64_t h = L / 2;
    const std::int64_t c = L - h;
    double first = 0.0, last = 0.0;
    for (std::int64_t a = 0; a < h; ++a) first += static_cast<double>(a) * static_cast<double>(a);
    for (std::int64_t a = c; a < L; ++a) last += static_cast<double>(a) * static_cast<double>(a);
    const double bend = (last - first) / (static_cast<double>(h) * static_cast<double>(c));
    std::vector<double> z(static_cast<std::size_t>(L));
    for (std::int64_t a = 0; a < L; ++a) {
      const double ad = static_cast<double>(a);
      z[static_cast<std::size_t>(a)] = curve * (ad * ad - bend * ad);
    }
    const std::vector<double> qz = FormTimes(z, m);
    // sum over segments of z^T Q u = (Q z).s - (g.s)(Q z . ramp)
    double cross = 0.0, qzRamp = 0.0;
    for (std::int64_t a = 0; a < L; ++a) {
      const auto i = static_cast<std::size_t>(a);
      cross += qz[i] * static_cast<double>(parts.prefix[i + static_cast<std::size_t>(S)] - parts.prefix[i]);
      qzRamp += qz[i] * static_cast<double>(a);
    }
    cross -= parts.slopeSum * qzRamp;
    std::vector<double> pu(static_cast<std::size_t>(L + 1)), pe(static_cast<std::size_t>(3 * L + 1));
    total += 2.0 * cross + static_cast<double>(S) * 0.5 * SegmentSum(z.data(), m, pu, pe);
  }
  if (cancellation != nullptr) *cancellation = total > 0.0 ? parts.magnitude / total : HUGE_VAL;
  const double md = static_cast<double>(m);
  // Q is 2 / m^2 times the filter's form.
  const double mean = 2.0 * total / (md * md) / (6.0 * md * static_cast<double>(S));
  return mean > 0.0 ? mean : 0.0;
}

double ReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop) {
  // Short filters cost less term by term than a handful of transforms.
  if (m < kFastFromFactor) return DirectReflectedSegmentMean(v, m, stop);
  double cancellation = 0.0;
  const double fast = FastReflectedSegmentMean(v, m, stop, &cancellation);
  if (fast < 0.0) return fast;
  // Smooth records (random-walk FM at short tau, or frequencies dominated
  // by white phase noise at long tau) make the transforms' sums cancel. The
  // error measured stays within a hundred times cancellation * epsilon;
  // where that could pass 1e-11 of the result the direct sum is taken, as
  // long as it costs no more than about a second.
  const double segments = static_cast<double>(v.size()) - 3.0 * static_cast<double>(m) + 1.0;
  if (cancellation * std::numeric_limits<double>::epsilon() > kFastCancellationLimit &&
      segments * static_cast<double>(m) <= kDirectTermBudget) {
    return DirectReflectedSegmentMean(v, m, stop);
  }
  return fast;
}

double TimeDeviation(std::span<const double> x, std::int64_t m, double tau0) {
  if (m < 1 || 4 * m > static_cast<std::int64_t>(x.size())) return 0.0;
  const double tau = tau0 * static_cast<double>(m);
  return FiniteOrZero(tau / std::sqrt(3.0) * ModifiedAllanDeviation(x, m, tau0));
}

double ModifiedTotalDeviation(std::span<const double> x, std::int64_t m, double tau0, const std::atomic<bool>* stop) {
  if (m < 1 || 3 * m > static_cast<std::int64_t>(x.size())) return 0.0;
  const std::vector<double> v = WithoutLine(x);
  const double mean = ReflectedSegmentMean(v, m, stop);
  if (!(mean > 0.0)) return 0.0;
  const double tau = tau0 * static_cast<double>(m);
  return FiniteOrZero(std::sqrt(mean / 2.0) / tau);
}

double TimeTotalDeviation(std::span<const double> x, std::int64_t m, double tau0, const std::atomic<bool>* stop) {
  const double tau = tau0 * static_cast<double>(m);
  return FiniteOrZero(tau / std::sqrt(3.0) * ModifiedTotalDeviation(x, m, tau0, stop));
}

double HadamardTotalDeviation(std::span<const double> x, std::int64_t m, double tau0, const std::atomic<bool>* stop) {
  const auto n = static_cast<std::int64_t>(x.size());
  if (m < 1 || 3 * m > n - 1) return 0.0;
  // Without the line first, so that constant data give exactly 0 here too.
  if (m == 1) return OverlappingHadamardDeviation(WithoutLine(x), 1, tau0);
  std::vector<double> y(static_cast<std::size_t>(n - 1));
  for (std::int64_t i = 0; i + 1 < n; ++i) {
    y[static_cast<std::size_t>(i)] = (x[static_cast<std::size_t>(i + 1)] - x[static_cast<std::size_t>(i)]) / tau0;
  }
  const std::vector<double> v = WithoutLine(y);
  const double mean = ReflectedSegmentMean(v, m, stop);
  if (!(mean > 0.0)) return 0.0;
  return FiniteOrZero(std::sqrt(mean / 6.0));
}

double ModifiedTotalBias(int alpha) {
  switch (alpha) {
    case 2:
      return 0.94;
    case 1:
      return 0.83;
    case 0:
      return 0.73;
    case -1:
      return 0.70;
    case -2:
      return 0.69;
    default:
      return 1.0;
  }
}

double HadamardTotalBias(int alpha, std::int64_t m) {
  if (m <= 1) return 1.0;
  switch (alpha) {
    case 0:
      return 1.0 - 0.005;
    case -1:
      return 1.0 - 0.149;
    case -2:
      return 1.0 - 0.229;
    case -3:
      return 1.0 - 0.283;
    case -4:
      return 1.0 - 0.321;
    default:
      return 1.0;
  }
}

double ModifiedTotalEdf(int alpha, std::int64_t n, std::int64_t m) {
  if (m < 10 || n < 1) return 0.0;
  double b = 0.0;
  double c = 0.0;
  switch (alpha) {
    case 1:
      b = 1.729, c = 2.984;
      break;
    case 0:
      b = 1.330, c = 1.892;
      break;
    case -1:
      b = 0.920, c = 0.760;
      break;
    default:
      return 0.0;
  }
  const double edf = b * static_cast<double>(n) / static_cast<double>(m) - c;
  return edf > 0.0 ? edf : 0.0;
}

double HadamardTotalEdf(int alpha, std::int64_t n, std::int64_t m) {
  if (m < 16 || n < 1 || alpha > 0 || alpha < -4) return 0.0;
  // Rows for white, flicker, random-walk, flicker-walk and random-run FM.
  static constexpr double kRows[5][2] = {
      {0.559, 1.004}, {0.868, 1.140}, {0.938, 1.696}, {0.974, 2.554}, {1.276, 3.149}};
  const double* row = kRows[-alpha];
  const double nd = static_cast<double>(n);
  const double md = static_cast<double>(m);
  const double edf = (nd / md) / (row[0] + row[1] * md / nd);
  return edf > 0.0 && std::isfinite(edf) ? edf : 0.0;
}
