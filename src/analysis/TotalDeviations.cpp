#include "analysis/TotalDeviations.h"

#include <algorithm>
#include <cmath>
#include <thread>

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

double ReflectedSegmentMean(std::span<const double> v, std::int64_t m, const std::atomic<bool>* stop) {
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
