#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "analysis/ConfidenceInterval.h"
#include "analysis/FurtherMeasures.h"
#include "analysis/Stability.h"
#include "analysis/TheoBias.h"
#include "analysis/TotalDeviations.h"

namespace {

// Power-law phase noise by fractional integration of white noise: S_y ~ f^alpha.
std::vector<double> PowerLawPhase(int alpha, std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> white(0.0, 1e-9);
  std::vector<double> w(n);
  for (double& v : w) v = white(rng);
  const double d = (2.0 - alpha) / 2.0;
  if (n == 0) return {};
  std::vector<double> h(n);
  h[0] = 1.0;
  for (std::size_t k = 1; k < n; ++k) h[k] = h[k - 1] * (static_cast<double>(k) - 1.0 + d) / static_cast<double>(k);
  std::vector<double> x(n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t k = 0; k <= i; ++k) x[i] += h[k] * w[i - k];
  return x;
}

// Long power-law records in O(N): white, flicker (a sum of first-order
// processes an octave apart in time constant) and their running sums.
std::vector<double> QuickPowerLaw(int alpha, std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> white(0.0, 1.0);
  std::vector<double> x(n);
  const bool flicker = alpha == 1 || alpha == -1;
  std::vector<double> state(20, 0.0);
  for (double& v : x) {
    if (!flicker) {
      v = white(rng);
      continue;
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < state.size(); ++k) {
      const double a = std::exp(-1.0 / std::pow(2.0, static_cast<double>(k)));
      state[k] = a * state[k] + std::sqrt(1.0 - a * a) * white(rng);
      sum += state[k];
    }
    v = sum;
  }
  const int sums = alpha == 2 || alpha == 1 ? 0 : alpha == 0 || alpha == -1 ? 1 : 2;
  for (int s = 0; s < sums; ++s)
    for (std::size_t i = 1; i < n; ++i) x[i] += x[i - 1];
  for (double& v : x) v *= 1e-9;
  return x;
}

// The segment mean written out step by step: the line through the half
// means removed, the mirrored 9m samples built, the m-sample sums added
// one by one.
double LiteralSegmentMean(const std::vector<double>& v, std::int64_t m) {
  const auto len = static_cast<std::int64_t>(v.size());
  const std::int64_t l = 3 * m;
  const std::int64_t h = l / 2;
  const std::int64_t c = l - h;
  long double total = 0.0L;
  for (std::int64_t n = 0; n + l <= len; ++n) {
    long double first = 0.0L, last = 0.0L;
    for (std::int64_t i = 0; i < h; ++i) first += v[static_cast<std::size_t>(n + i)];
    for (std::int64_t i = c; i < l; ++i) last += v[static_cast<std::size_t>(n + i)];
    const long double b = (last / h - first / h) / c;
    std::vector<long double> u(static_cast<std::size_t>(l));
    for (std::int64_t i = 0; i < l; ++i) u[static_cast<std::size_t>(i)] = v[static_cast<std::size_t>(n + i)] - b * i;
    std::vector<long double> e;
    for (std::int64_t i = l - 1; i >= 0; --i) e.push_back(u[static_cast<std::size_t>(i)]);
    for (std::int64_t i = 0; i < l; ++i) e.push_back(u[static_cast<std::size_t>(i)]);
    for (std::int64_t i = l - 1; i >= 0; --i) e.push_back(u[static_cast<std::size_t>(i)]);
    auto a = [&](std::int64_t k) {
      long double s = 0.0L;
      for (std::int64_t t = k; t < k + m; ++t) s += e[static_cast<std::size_t>(t)];
      return s;
    };
    long double sum = 0.0L;
    for (std::int64_t j = 0; j < 6 * m; ++j) {
      const long double d = (a(j) - 2 * a(j + m) + a(j + 2 * m)) / m;
      sum += d * d;
    }
    total += sum / (6 * m);
  }
  return static_cast<double>(total / (len - l + 1));
}

}  // namespace

TEST(TotalDeviations, SegmentSumsMatchTheLiteralFormOverNoiseTypesOffsetsAndLengths) {
  for (int alpha = 2; alpha >= -2; --alpha) {
    for (std::size_t n : {3u, 4u, 7u, 20u, 61u, 300u}) {
      for (bool ramp : {false, true}) {
        std::vector<double> x = PowerLawPhase(alpha, n, 7 + n);
        // A large offset and a frequency offset and drift, which every
        // measure here ignores.
        if (ramp)
          for (std::size_t i = 0; i < n; ++i) x[i] += 1e-3 + 1e-6 * i + 1e-9 * i * i;
        for (std::int64_t m = 1; 3 * m <= static_cast<std::int64_t>(n); m = m * 2 + 1) {
          const std::vector<double> v = WithoutLine(x);
          const double fast = ReflectedSegmentMean(v, m);
          const double literal = LiteralSegmentMean(v, m);
          ASSERT_GT(literal, 0.0);
          EXPECT_NEAR(fast / literal, 1.0, 1e-11) << "alpha " << alpha << " n " << n << " m " << m << " ramp " << ramp;
        }
      }
    }
  }
}

TEST(TotalDeviations, FastSumsMatchTheDirectOnes) {
  const struct {
    std::size_t n;
    std::vector<std::int64_t> factors;
  } sizes[] = {{3, {1}},
               {4, {1}},
               {17, {1, 2, 5}},
               {100, {1, 3, 16, 33}},
               {1000, {2, 16, 40, 333}},
               {16384, {16, 128, 2000}},
               {65536, {16, 40}}};
  int fastTaken = 0;
  for (int alpha = 2; alpha >= -2; --alpha) {
    for (const auto& size : sizes) {
      for (bool drift : {false, true}) {
        std::vector<double> x = QuickPowerLaw(alpha, size.n, 31 + static_cast<unsigned>(size.n));
        if (drift)
          for (std::size_t i = 0; i < size.n; ++i) x[i] += 1e-3 + 1e-7 * i + 1e-10 * static_cast<double>(i * i);
        const std::vector<double> v = WithoutLine(x);
        for (std::int64_t m : size.factors) {
          const double direct = DirectReflectedSegmentMean(v, m);
          ASSERT_GT(direct, 0.0);
          const auto where = ::testing::Message()
                             << "alpha " << alpha << " n " << size.n << " m " << m << " drift " << drift;
          EXPECT_NEAR(ReflectedSegmentMean(v, m) / direct, 1.0, 1e-11) << where;
          double cancellation = 0.0;
          const double fast = FastReflectedSegmentMean(v, m, nullptr, &cancellation);
          if (cancellation * std::numeric_limits<double>::epsilon() <= 1e-13) {
            ++fastTaken;
            EXPECT_NEAR(fast / direct, 1.0, 1e-11) << where;
          }
        }
      }
    }
  }
  EXPECT_GT(fastTaken, 60);  // the fast form is what most of these run on
}

TEST(TotalDeviations, HandWorkedValues) {
  // x = 0, 1, 0 at m = 1: u = (0, 1, 0), D = -2, 1, 1, -2, 1, 1, so the
  // segment mean is 12 / 6 = 2 and MTOT^2 = 2 / 2 = 1; MDEV^2 is 4 / 2.
  const std::vector<double> tent = {0.0, 1.0, 0.0};
  EXPECT_DOUBLE_EQ(ModifiedTotalDeviation(tent, 1, 1.0), 1.0);
  EXPECT_DOUBLE_EQ(ModifiedTotalDeviation(tent, 1, 2.0), 0.5);
  EXPECT_DOUBLE_EQ(TimeTotalDeviation(tent, 1, 1.0), 1.0 / std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(ModifiedAllanDeviation(tent, 1, 1.0), std::sqrt(2.0));
  // x = 0, 1, 0, 0: second differences -2 and 1, MVAR = 5 / 4, TDEV^2 = 5 / 12.
  const std::vector<double> four = {0.0, 1.0, 0.0, 0.0};
  EXPECT_DOUBLE_EQ(TimeDeviation(four, 1, 1.0), std::sqrt(5.0 / 12.0));
  EXPECT_EQ(TimeDeviation(tent, 1, 1.0), 0.0);  // needs 4m samples
  // HTOT at m = 1 is the overlapping Hadamard deviation.
  const std::vector<double> x = PowerLawPhase(0, 40, 3);
  EXPECT_NEAR(HadamardTotalDeviation(x, 1, 10.0), OverlappingHadamardDeviation(x, 1, 10.0),
              1e-12 * OverlappingHadamardDeviation(x, 1, 10.0));
  EXPECT_GT(HadamardTotalDeviation(x, 13, 10.0), 0.0);  // 3m = N - 1
  EXPECT_EQ(HadamardTotalDeviation(x, 14, 10.0), 0.0);  // 3m > N - 1
}

TEST(TotalDeviations, BiasAndDegreesOfFreedomRules) {
  const struct {
    int alpha;
    double mtotBias, htotBias;
  } bias[] = {{2, 0.94, 1.0},    {1, 0.83, 1.0},   {0, 0.73, 0.995}, {-1, 0.70, 0.851},
              {-2, 0.69, 0.771}, {-3, 1.0, 0.717}, {-4, 1.0, 0.679}};
  for (const auto& b : bias) {
    EXPECT_DOUBLE_EQ(ModifiedTotalBias(b.alpha), b.mtotBias) << b.alpha;
    EXPECT_DOUBLE_EQ(HadamardTotalBias(b.alpha, 2), b.htotBias) << b.alpha;
    EXPECT_EQ(HadamardTotalBias(b.alpha, 1), 1.0);  // HTOT is OHDEV there
  }
  // MTOT: 1.330 * 1253 / 16 - 1.892 for white FM; no rule below m = 10 or at +2, -2.
  EXPECT_NEAR(ModifiedTotalEdf(0, 1253, 16), 102.26, 0.01);
  EXPECT_NEAR(ModifiedTotalEdf(1, 1253, 100), 18.68, 0.01);
  EXPECT_NEAR(ModifiedTotalEdf(-1, 1253, 400), 2.122, 0.001);
  EXPECT_EQ(ModifiedTotalEdf(0, 1253, 8), 0.0);
  EXPECT_EQ(ModifiedTotalEdf(2, 1253, 16), 0.0);
  // HTOT: (N / m) / (b0 + b1 m / N), white FM row first; none for PM or m < 16.
  EXPECT_NEAR(HadamardTotalEdf(0, 1253, 16), 78.3125 / (0.559 + 1.004 * 16 / 1253.0), 1e-9);
  EXPECT_NEAR(HadamardTotalEdf(-1, 1253, 400), 3.1325 / (0.868 + 1.140 * 400 / 1253.0), 1e-9);
  EXPECT_EQ(HadamardTotalEdf(1, 1253, 64), 0.0);
  EXPECT_EQ(HadamardTotalEdf(0, 1253, 8), 0.0);
  // Theo1, white FM: ((4.1 N + 0.8) / r - (3.1 N + 6.5) / N) r^1.5 / (r^1.5 + 5.2), r = 0.75 m.
  const double r = 7.5;
  EXPECT_NEAR(Theo1Edf(0, 1000, 10), ((4100.8) / r - 3106.5 / 1000) * std::pow(r, 1.5) / (std::pow(r, 1.5) + 5.2),
              1e-9);
  for (int a = 2; a >= -2; --a) EXPECT_GT(Theo1Edf(a, 1000, 100), Theo1Edf(a, 1000, 400)) << a;
}

TEST(TheoBias, NoiseFromTheFactor) {
  // The factors of two published runs and the noise printed with them.
  EXPECT_EQ(TheoBrNoise(0.602787), 1);
  EXPECT_EQ(TheoBrNoise(1.349111), -1);
  const struct {
    double k;
    int alpha;
  } cases[] = {{0.1, 2},  {0.48, 2},  {0.50, 1},  {0.77, 1},  {0.78, 0},
               {1.30, 0}, {1.31, -1}, {1.95, -1}, {1.96, -2}, {9.0, -2}};
  for (const auto& c : cases) EXPECT_EQ(TheoBrNoise(c.k), c.alpha) << c.k;
}

TEST(TheoBias, FactorSkipsTheEmptyAllanTermAndSeesTheNoise) {
  // N = 36: i = 0 ... 3, but OAVAR(18) has no terms; the mean is over three.
  const std::vector<double> x = PowerLawPhase(0, 36, 11);
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double a = OverlappingAllanDeviation(x, 9 + 3 * i, 1.0);
    const double t = Theo1Deviation(x, 12 + 4 * i, 1.0);
    sum += a * a / (t * t);
  }
  ASSERT_TRUE(TheoBrFactor(x).has_value());
  EXPECT_NEAR(*TheoBrFactor(x), sum / 3.0, 1e-12 * sum);
  EXPECT_FALSE(TheoBrFactor(std::vector<double>(17, 1.0)).has_value());
  EXPECT_FALSE(TheoBrFactor(PowerLawPhase(0, 18, 1)).has_value());  // its one term is 0 / 0
  EXPECT_FALSE(TheoBrFactor(std::vector<double>(100, 3e-3)).has_value());
  // Over a long record the factor lands near the nominal ratio of its noise.
  for (int alpha : {2, 0, -2}) {
    const auto k = TheoBrFactor(PowerLawPhase(alpha, 1500, 5));
    ASSERT_TRUE(k.has_value());
    EXPECT_EQ(TheoBrNoise(*k), alpha) << *k;
  }
}

TEST(FurtherMeasures, TauLists) {
  using V = std::vector<std::int64_t>;
  EXPECT_EQ(AveragingFactors(TauList::Octave, 1, 40), (V{1, 2, 4, 8, 16, 32}));
  EXPECT_EQ(AveragingFactors(TauList::Octave, 10, 90, true), (V{10, 20, 40, 80}));
  EXPECT_EQ(AveragingFactors(TauList::Decade, 1, 450), (V{1, 2, 4, 10, 20, 40, 100, 200, 400}));
  EXPECT_EQ(AveragingFactors(TauList::Decade, 10, 1000, true), (V{10, 20, 40, 100, 200, 400, 1000}));
  EXPECT_EQ(AveragingFactors(TauList::All, 10, 17, true), (V{10, 12, 14, 16}));
  EXPECT_EQ(AveragingFactors(TauList::All, 1, 0), V{});
}

// Every measure over awkward records: finite positive values or no points
// with a reason, never NaN, in every list.
TEST(FurtherMeasures, AwkwardRecordsGiveValuesOrAReason) {
  std::vector<std::vector<double>> records;
  for (std::size_t n = 0; n <= 20; ++n) records.push_back(PowerLawPhase(0, n, 100 + n));
  records.push_back(std::vector<double>(50, 2.5e-7));  // constant
  std::vector<double> line, quadratic, steps;
  std::mt19937 rng(4);
  double walk = 0.0;
  for (int i = 0; i < 200; ++i) {
    line.push_back(1e-3 + 3e-9 * i);
    quadratic.push_back(1e-12 * i * i);
    walk += (rng() % 2 ? 1e-11 : -1e-11);
    steps.push_back(1e-3 + walk);
  }
  records.push_back(line);
  records.push_back(quadratic);
  records.push_back(steps);
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) {
      for (TauList list : {TauList::Octave, TauList::All}) {
        const FurtherSeries s = ComputeFurtherMeasure(info.measure, records[r], 10.0, list, true);
        if (s.points.empty()) {
          EXPECT_FALSE(s.note.empty()) << info.shortName << " record " << r;
        }
        for (const FurtherPoint& p : s.points) {
          EXPECT_TRUE(std::isfinite(p.value) && p.value > 0.0) << info.shortName << " record " << r;
          if (p.interval.Valid()) {
            EXPECT_TRUE(p.interval.low <= p.value && p.value <= p.interval.high)
                << info.shortName << " record " << r << " m " << p.m << " " << p.interval.low << " " << p.value << " "
                << p.interval.high;
          }
        }
      }
    }
  }
  // A pure line and a constant have no MTOT, TDEV or HTOT; a quadratic has
  // MTOT and TDEV but no HTOT.
  const std::size_t constant = 21, lineAt = 22, quadraticAt = 23, stepsAt = 24;
  for (FurtherMeasure m : {FurtherMeasure::Time, FurtherMeasure::ModifiedTotal, FurtherMeasure::HadamardTotal}) {
    EXPECT_TRUE(ComputeFurtherMeasure(m, records[constant], 10.0, TauList::Octave, false).points.empty())
        << FurtherMeasureInfoOf(m).shortName;
    for (const FurtherPoint& p : ComputeFurtherMeasure(m, records[lineAt], 10.0, TauList::Octave, false).points)
      EXPECT_LT(p.value, 1e-15);  // rounding of the line only
  }
  EXPECT_FALSE(ComputeFurtherMeasure(FurtherMeasure::ModifiedTotal, records[quadraticAt], 10.0, TauList::Octave, false)
                   .points.empty());
  for (const FurtherPoint& p :
       ComputeFurtherMeasure(FurtherMeasure::HadamardTotal, records[quadraticAt], 10.0, TauList::Octave, false).points)
    EXPECT_LT(p.value, 1e-20);
  // The 1 ms offset costs no accuracy.
  std::vector<double> bare = records[stepsAt];
  for (double& v : bare) v -= 1e-3;
  for (std::int64_t m : {1, 4, 16, 64}) {
    EXPECT_NEAR(ModifiedTotalDeviation(records[stepsAt], m, 10.0) / ModifiedTotalDeviation(bare, m, 10.0), 1.0, 1e-6);
    EXPECT_NEAR(HadamardTotalDeviation(records[stepsAt], m, 10.0) / HadamardTotalDeviation(bare, m, 10.0), 1.0, 1e-6);
  }
}

TEST(FurtherMeasures, StopRulesBiasAndIntervals) {
  const std::vector<double> x = PowerLawPhase(0, 1253, 21);
  const auto last = [&](FurtherMeasure m, TauList l) {
    return ComputeFurtherMeasure(m, x, 2.5, l, false).points.back().m;
  };
  EXPECT_EQ(last(FurtherMeasure::Time, TauList::Octave), 256);           // 4m <= N
  EXPECT_EQ(last(FurtherMeasure::ModifiedTotal, TauList::Decade), 400);  // 3m <= N
  EXPECT_EQ(last(FurtherMeasure::HadamardTotal, TauList::All), 417);     // 3m <= N - 1
  // ThêoH: OADEV up to the start of the ThêoBR branch at m >= N / 5.
  const FurtherSeries h = ComputeFurtherMeasure(FurtherMeasure::TheoH, x, 2.5, TauList::Octave, true);
  std::vector<std::int64_t> ms;
  for (const FurtherPoint& p : h.points) ms.push_back(p.m);
  EXPECT_EQ(ms, (std::vector<std::int64_t>{1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024}));
  for (std::size_t i = 1; i < h.points.size(); ++i) EXPECT_GT(h.points[i].tau, h.points[i - 1].tau);
  EXPECT_DOUBLE_EQ(h.points[8].tau, 0.75 * 256 * 2.5);

  // TDEV's interval is MDEV's scaled by tau / sqrt 3.
  const FurtherSeries t = ComputeFurtherMeasure(FurtherMeasure::Time, x, 2.5, TauList::Octave, true);
  for (const FurtherPoint& p : t.points) {
    const double scale = p.tau / std::sqrt(3.0);
    const StabilityInterval md =
        IntervalOf(StabilityMeasure::ModifiedAllan, x, p.m, ModifiedAllanDeviation(x, p.m, 2.5));
    ASSERT_EQ(md.Valid(), p.interval.Valid()) << p.m;
    if (!md.Valid()) continue;
    EXPECT_NEAR(p.interval.low, md.low * scale, 1e-9 * p.value);
    EXPECT_NEAR(p.interval.high, md.high * scale, 1e-9 * p.value);
  }
  // MTOT carries its bias in the every-factor list only; HTOT always from m = 2.
  const FurtherSeries octave = ComputeFurtherMeasure(FurtherMeasure::ModifiedTotal, x, 2.5, TauList::Octave, true);
  const FurtherSeries all = ComputeFurtherMeasure(FurtherMeasure::ModifiedTotal, x, 2.5, TauList::All, true);
  for (const FurtherPoint& p : octave.points) {
    EXPECT_EQ(p.bias, 1.0);
    const FurtherPoint& q = all.points[static_cast<std::size_t>(p.m - 1)];
    ASSERT_EQ(q.m, p.m);
    EXPECT_NEAR(q.value, p.value / std::sqrt(ModifiedTotalBias(q.interval.alpha)), 1e-12 * p.value);
  }
  const FurtherSeries ht = ComputeFurtherMeasure(FurtherMeasure::HadamardTotal, x, 2.5, TauList::Octave, true);
  EXPECT_EQ(ht.points[0].bias, 1.0);
  EXPECT_FALSE(ht.points[0].standInEdf);
  EXPECT_NEAR(ht.points[3].value, HadamardTotalDeviation(x, 8, 2.5) / std::sqrt(ht.points[3].bias), 1e-20);
  EXPECT_TRUE(ht.points[3].standInEdf);  // m = 8 < 16
  EXPECT_LT(ht.points[3].bias, 1.0);     // white FM: a = -0.005
}

TEST(FurtherMeasures, LongRecordsLeaveTheoOutWithAReason) {
  const std::vector<double> x(static_cast<std::size_t>(kTheoMaxSamples + 1), 0.0);
  const FurtherSeries s = ComputeFurtherMeasure(FurtherMeasure::TheoBr, x, 1.0, TauList::Octave, false);
  EXPECT_TRUE(s.points.empty());
  EXPECT_NE(s.note.find("left out"), std::string::npos);
}

TEST(FurtherMeasures, StopsPromptly) {
  std::vector<double> x(400000);
  std::mt19937_64 rng(1);
  std::normal_distribution<double> g;
  for (double& v : x) v = g(rng);
  std::atomic<bool> stop{false};
  FurtherSeries s;
  std::chrono::steady_clock::time_point stoppedAt;
  std::thread run(
      [&] { s = ComputeFurtherMeasure(FurtherMeasure::ModifiedTotal, x, 1.0, TauList::Octave, false, &stop); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stoppedAt = std::chrono::steady_clock::now();
  stop = true;
  run.join();
  const auto took = std::chrono::steady_clock::now() - stoppedAt;
  EXPECT_TRUE(s.stopped);
  EXPECT_LT(took, std::chrono::seconds(2));  // about a millisecond unloaded
}
