#include "analysis/TheoBias.h"

#include <cmath>

#include "analysis/Stability.h"

std::optional<double> TheoBrFactor(std::span<const double> x, const std::atomic<bool>* stop) {
  const auto n = static_cast<std::int64_t>(x.size());
  if (n < kTheoBrMinSamples) return std::nullopt;
  const std::int64_t last = n / 6 - 3;
  // The ratio does not depend on tau0; 1 keeps the numbers moderate.
  double sum = 0.0;
  std::int64_t count = 0;
  for (std::int64_t i = 0; i <= last; ++i) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return std::nullopt;
    const std::int64_t allanM = 9 + 3 * i;
    if (n - 2 * allanM <= 0) continue;
    const double allan = OverlappingAllanDeviation(x, allanM, 1.0);
    const double theo = Theo1Deviation(x, 12 + 4 * i, 1.0);
    if (!(theo > 0.0)) continue;
    const double ratio = (allan / theo) * (allan / theo);
    if (!std::isfinite(ratio)) continue;
    sum += ratio;
    ++count;
  }
  if (count == 0 || !(sum > 0.0)) return std::nullopt;
  return sum / static_cast<double>(count);
}

int TheoBrNoise(double factor) {
  static constexpr struct {
    int alpha;
    double ratio;
  } kNominal[] = {{2, 0.40}, {1, 0.60}, {0, 1.00}, {-1, 1.71}, {-2, 2.24}};
  for (std::size_t i = 0; i + 1 < std::size(kNominal); ++i) {
    if (factor < std::sqrt(kNominal[i].ratio * kNominal[i + 1].ratio)) return kNominal[i].alpha;
  }
  return kNominal[std::size(kNominal) - 1].alpha;
}

double Theo1Edf(int alpha, std::int64_t n, std::int64_t m) {
  if (m < 2 || n <= m) return 0.0;
  const double nd = static_cast<double>(n);
  const double r = 0.75 * static_cast<double>(m);
  double edf = 0.0;
  switch (alpha) {
    case 2:
      edf = 0.86 * (nd + 1.0) * (nd - 4.0 * r / 3.0) / (nd - r) * (r / (r + 1.14));
      break;
    case 1:
      edf = (4.798 * nd * nd - 6.374 * r * nd + 12.387 * r) / (std::sqrt(r + 36.6) * (nd - r)) * (r / (r + 0.3));
      break;
    case 0: {
      const double r15 = std::pow(r, 1.5);
      edf = ((4.1 * nd + 0.8) / r - (3.1 * nd + 6.5) / nd) * (r15 / (r15 + 5.2));
      break;
    }
    case -1: {
      const double r3 = r * r * r;
      edf = (2.0 * nd * nd - 1.3 * r * nd - 3.5 * r) / (nd * r) * (r3 / (r3 + 2.3));
      break;
    }
    case -2: {
      const double a = 4.4 * nd - 1.0;
      const double b = 4.4 * nd - 3.0;
      edf = (4.4 * nd - 2.0) / (2.9 * r) * ((a * a - 8.6 * r * a + 11.4 * r * r) / (b * b));
      break;
    }
    default:
      return 0.0;
  }
  return edf > 0.0 && std::isfinite(edf) ? edf : 0.0;
}
