#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/Stability.h"
#include "analysis/Theo1Fast.h"

namespace {

// ---- Plain references ----

// Theo1's S(m) term by term in 80-bit arithmetic.
double LongDirectSum(const std::vector<double>& x, std::int64_t m) {
  const auto K = static_cast<std::int64_t>(x.size()) - m;
  const std::int64_t h = m / 2;
  long double s = 0.0L;
  for (std::int64_t e = 1; e <= h; ++e) {
    long double te = 0.0L;
    for (std::int64_t i = 0; i < K; ++i) {
      const long double t = static_cast<long double>(x[i]) - x[i + e] - x[i + m - e] + x[i + m];
      te += t * t;
    }
    s += te / static_cast<long double>(e);
  }
  return static_cast<double>(s);
}

std::vector<double> TrianglePairLoop(const std::vector<double>& z) {
  const std::size_t n = z.size();
  std::vector<double> u(n, 0.0);
  for (std::size_t p = 0; p < n; ++p)
    for (std::size_t q = p; p + q + 1 <= n; ++q) u[q - p] += z[p] * z[q];
  return u;
}

// ---- Records ----

enum class Noise { WhitePm, FlickerPm, WhiteFm, FlickerFm, RandomWalkFm };
const char* Name(Noise n) {
  const char* names[] = {"white PM", "flicker PM", "white FM", "flicker FM", "random-walk FM"};
  return names[static_cast<int>(n)];
}

std::vector<double> Flicker(std::size_t n, std::mt19937_64& rng) {
  // White noise through the truncated 1/f filter h_k = h_{k-1} (k - 1/2) / k.
  std::normal_distribution<double> g(0.0, 1.0);
  constexpr std::size_t taps = 512;
  std::vector<double> h(taps, 1.0);
  for (std::size_t k = 1; k < taps; ++k) h[k] = h[k - 1] * (static_cast<double>(k) - 0.5) / static_cast<double>(k);
  std::vector<double> w(n + taps);
  for (double& v : w) v = g(rng);
  std::vector<double> out(n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t k = 0; k < taps; ++k) out[i] += h[k] * w[i + taps - k];
  return out;
}

std::vector<double> Integrate(std::vector<double> v) {
  double s = 0.0;
  for (double& x : v) x = s += x;
  return v;
}

// Phase in seconds, noise of about a nanosecond, with or without 1 ms +
// 1e-8 t + quadratic drift on top.
std::vector<double> Record(Noise noise, std::size_t n, bool offset, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = g(rng);
  switch (noise) {
    case Noise::WhitePm:
      break;
    case Noise::FlickerPm:
      v = Flicker(n, rng);
      break;
    case Noise::WhiteFm:
      v = Integrate(v);
      break;
    case Noise::FlickerFm:
      v = Integrate(Flicker(n, rng));
      break;
    case Noise::RandomWalkFm:
      v = Integrate(Integrate(v));
      break;
  }
  for (std::size_t j = 0; j < n; ++j) {
    const double t = 10.0 * static_cast<double>(j);
    v[j] *= 1e-9;
    if (offset) v[j] += 1e-3 + 1e-8 * t + 1e-16 * t * t;
  }
  return v;
}

std::vector<std::int64_t> Theo1Factors(std::size_t n) {
  std::vector<std::int64_t> ms;
  for (std::int64_t m = 10; m < static_cast<std::int64_t>(n); m *= 2) ms.push_back(m);
  return ms;
}

double RelativeError(double got, double want) { return std::fabs(got - want) / std::fabs(want); }

// ---- Tests ----

TEST(Theo1Fast, TriangleLagSumsMatchThePairLoop) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<std::size_t> sizes;
  for (std::size_t n = 1; n <= 200; ++n) sizes.push_back(n);
  for (std::size_t n : {997u, 1000u, 1023u, 1024u, 1025u}) sizes.push_back(n);
  for (std::size_t directBelow : {1u, 2u, 5u, 16u, 24u, 64u}) {
    for (std::size_t n : sizes) {
      std::vector<double> z(n);
      for (double& v : z) v = u(rng);
      const auto want = TrianglePairLoop(z);
      std::vector<double> got(n, 123.0);
      TriangleLagSums(z, got, directBelow);
      for (std::size_t L = 0; L < n; ++L) {
        ASSERT_NEAR(got[L], want[L], 1e-13 * static_cast<double>(n))
            << "n " << n << " w0 " << directBelow << " L " << L;
      }
    }
  }
}

TEST(Theo1Fast, AgreesWithTheLongDoubleSumOnEveryNoiseAndFactor) {
  struct Case {
    std::size_t n;
    bool longDouble;
  };
  for (const Case c : {Case{64, true}, Case{1000, true}, Case{4096, true}, Case{65536, false}}) {
    for (const Noise noise :
         {Noise::WhitePm, Noise::FlickerPm, Noise::WhiteFm, Noise::FlickerFm, Noise::RandomWalkFm}) {
      for (const bool offset : {false, true}) {
        // At 65 536 the direct sum of every factor is long; two noises with drift stand for the rest.
        if (!c.longDouble && (!offset || (noise != Noise::WhitePm && noise != Noise::RandomWalkFm))) continue;
        const auto x = Record(noise, c.n, offset, static_cast<unsigned>(c.n) + static_cast<unsigned>(noise));
        for (const std::int64_t m : Theo1Factors(c.n)) {
          const double want = c.longDouble ? LongDirectSum(x, m) : Theo1DirectSum(x, m);
          for (const std::int64_t blockFactor : {1, 2, 4}) {
            const Theo1Sums fast = Theo1FastSums(x, m, blockFactor);
            EXPECT_TRUE(fast.Trusted(kTheo1Tolerance)) << fast.Condition() << Name(noise) << " N " << c.n << " m " << m << " beta " << blockFactor << " err " << RelativeError(fast.sum, want);
            EXPECT_LT(RelativeError(fast.sum, want), 1e-11)
                << Name(noise) << (offset ? " + drift" : "") << " N " << c.n << " m " << m << " beta " << blockFactor;
          }
          // What the deviation uses, fast or not.
          EXPECT_LT(RelativeError(Theo1SumOf(x, m), want), 1e-11) << Name(noise) << " N " << c.n << " m " << m;
        }
      }
    }
  }
}

TEST(Theo1Fast, EveryEvenFactorAndBlockOfShortRecords) {
  // All even m, all K >= 1: single blocks, K < m, m = 2.
  for (std::size_t n = 3; n <= 300; n += (n < 40 ? 1 : 37)) {
    const auto x = Record(Noise::WhiteFm, n, true, static_cast<unsigned>(n));
    for (std::int64_t m = 2; m < static_cast<std::int64_t>(n); m += 2) {
      const double want = LongDirectSum(x, m);
      const Theo1Sums fast = Theo1FastSums(x, m, 2);
      EXPECT_LT(RelativeError(fast.sum, want), 1e-12) << "N " << n << " m " << m;
    }
  }
}

TEST(Theo1Fast, AwkwardRecordsGiveTheDirectValue) {
  const std::size_t n = 3000;
  std::vector<std::pair<std::string, std::vector<double>>> records;
  std::mt19937_64 rng(3);
  std::normal_distribution<double> g(0.0, 1.0);
  std::vector<double> v(n);
  for (std::size_t j = 0; j < n; ++j) v[j] = std::round((1e-3 + 1e-9 * g(rng)) / 1e-11) * 1e-11;
  records.emplace_back("10 ps steps on 1 ms", v);
  auto step = Record(Noise::WhitePm, n, false, 4);
  for (std::size_t j = n / 3; j < n; ++j) step[j] += 1e-6;
  records.emplace_back("1 us step", step);
  auto spikes = Record(Noise::WhiteFm, n, true, 5);
  for (std::size_t j = 17; j < n; j += 701) spikes[j] += 1e-3;
  records.emplace_back("spikes", spikes);
  for (std::size_t j = 0; j < n; ++j) v[j] = 1e-3 + 1e-15 * g(rng);
  records.emplace_back("1e-15 s noise on 1 ms", v);
  for (std::size_t len : {11u, 12u, 37u, 100u})
    records.emplace_back("short " + std::to_string(len), Record(Noise::FlickerFm, len, true, 6));

  for (const auto& [name, x] : records) {
    for (std::int64_t m = 2; m < static_cast<std::int64_t>(x.size()); m = m < 10 ? m + 2 : 2 * m) {
      const double want = LongDirectSum(x, m);
      const Theo1Sums fast = Theo1FastSums(x, m, 2);
      // Either trusted and right, or the guard says so; what the deviation uses is right regardless.
      if (fast.Trusted(kTheo1Tolerance)) {
        EXPECT_LT(RelativeError(fast.sum, want), 1e-11) << name << " m " << m;
      }
      EXPECT_LT(RelativeError(Theo1SumOf(x, m), want), 1e-11) << name << " m " << m;
    }
  }
}

TEST(Theo1Fast, NonFiniteSamplesFallBackAndGiveNoValue) {
  // The fast sums cannot be trusted; the direct sum decides, and a
  // deviation that is not finite is no value, as at short factors.
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e200}) {
    auto x = Record(Noise::WhiteFm, 5000, true, 15);
    x[1234] = bad;
    for (std::int64_t m : {640, 1280}) {
      EXPECT_FALSE(Theo1FastSums(x, m, 1).Trusted(kTheo1Tolerance)) << bad << " m " << m;
      EXPECT_EQ(Theo1Deviation(x, m), 0.0) << bad << " m " << m;
    }
  }
}

TEST(Theo1Fast, StraightLinesAndConstantsGiveZeroNeverLess) {
  for (const auto& [a, b] :
       std::vector<std::pair<double, double>>{{0.0, 0.0}, {1e-3, 0.0}, {1e-3, 1e-7}, {-5.0, 3e-9}, {0.25, 1e-12}}) {
    std::vector<double> x(4000);
    for (std::size_t j = 0; j < x.size(); ++j) x[j] = a + b * static_cast<double>(j);
    double scale = 0.0;
    for (double v : x) scale = std::max(scale, std::fabs(v));
    for (std::int64_t m = 2; m < 4000; m *= 2) {
      const Theo1Sums fast = Theo1FastSums(x, m, 2);
      ASSERT_TRUE(std::isfinite(fast.sum));
      EXPECT_GE(fast.sum, 0.0);
      // Only rounding of the samples themselves: far below one ulp of the values squared per term.
      EXPECT_LE(fast.sum, 1e-28 * scale * scale * static_cast<double>(x.size() * m)) << a << " " << b << " m " << m;
      const double s = Theo1SumOf(x, m);
      EXPECT_GE(s, 0.0);
      EXPECT_LE(s, 1e-28 * scale * scale * static_cast<double>(x.size() * m) + 4.0 * Theo1DirectSum(x, m));
    }
  }
}

TEST(Theo1Fast, UnchangedByAddingALine) {
  // On a grid of 2^-60 s, below 2^-7 s, so that adding the line rounds nothing.
  const double grid = std::ldexp(1.0, -60);
  auto onGrid = [grid](double v) { return std::nearbyint(v / grid) * grid; };
  auto x = Record(Noise::FlickerFm, 20000, false, 11);
  for (double& v : x) v = onGrid(v);
  for (const auto& [a, b] : std::vector<std::pair<double, double>>{
           {onGrid(1e-3), 0.0}, {0.0, onGrid(1e-7)}, {onGrid(-2e-3), onGrid(-3e-7)}}) {
    std::vector<double> y(x);
    for (std::size_t j = 0; j < y.size(); ++j) y[j] += a + b * static_cast<double>(j);
    for (std::int64_t m : {10, 80, 640, 5120}) {
      const double sx = Theo1FastSums(x, m, 2).sum;
      const double sy = Theo1FastSums(y, m, 2).sum;
      EXPECT_LT(RelativeError(sy, sx), 1e-12) << a << " " << b << " m " << m;
    }
  }
}

TEST(Theo1Fast, OneLineOverALongRandomWalkTripsTheGuard) {
  const auto x = Record(Noise::RandomWalkFm, 65536, true, 12);
  // A single block over the whole record leaves the walk's wander in the
  // energies; the guard must see it, while block-local lines pass.
  const Theo1Sums global = Theo1FastSums(x, 10, 1 << 20);
  EXPECT_FALSE(global.Trusted(kTheo1Tolerance)) << global.Condition();
  EXPECT_TRUE(Theo1FastSums(x, 10, 2).Trusted(kTheo1Tolerance));
}

TEST(Theo1Fast, SameBitsWithAnyThreadCount) {
  const auto x = Record(Noise::WhiteFm, 50000, true, 13);
  // Many blocks, an odd count of them, two, and one shorter than m.
  for (std::int64_t m : {10, 640, 10240, 30000}) {
    const double one = Theo1FastSums(x, m, 2, 1).sum;
    for (unsigned threads : {2u, 3u, 8u}) EXPECT_EQ(Theo1FastSums(x, m, 2, threads).sum, one) << m << " " << threads;
  }
}

TEST(Theo1Fast, AStopFlagEndsTheSeriesWithinALongPoint) {
  const auto x = Record(Noise::WhiteFm, 300000, true, 14);
  std::size_t full = 0;
  for (std::int64_t m = 10; m < static_cast<std::int64_t>(x.size()); m *= 2) ++full;
  // Set before: no point at all.
  std::atomic<bool> stop{true};
  MeasurePoints stopped(StabilityMeasure::Theo1, x);
  stopped.SetStopFlag(&stop);
  StabilityPoint p;
  EXPECT_FALSE(stopped.Next(p));
  // Set from another thread while the points are computed: the series ends
  // early, with only points computed to the end.
  stop = false;
  MeasurePoints source(StabilityMeasure::Theo1, x);
  source.SetStopFlag(&stop);
  std::vector<StabilityPoint> got;
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
  });
  while (source.Next(p)) got.push_back(p);
  stopper.join();
  EXPECT_LT(got.size(), full - 1);
  EXPECT_FALSE(source.Next(p));
  const auto all = AllMeasurePoints(StabilityMeasure::Theo1, x);
  ASSERT_GE(all.size(), got.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].value, all[i].value);
}

}  // namespace
