#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "analysis/Stability.h"
#include "charting/ChartSeries.h"

namespace {

// ---- Deliberately plain reference implementations, one-based as in NIST SP 1065 ----

struct Phase {
  std::vector<double> v;
  long M() const { return static_cast<long>(v.size()); }
  double x(long i) const { return v.at(static_cast<std::size_t>(i - 1)); }
};

// Fractional frequency averaged over m samples, starting at sample k.
double MeanFrequency(const Phase& p, long k, long m, double tau) { return (p.x(k + m) - p.x(k)) / tau; }

double RefAdev(const Phase& p, long m, double tau0) {
  const double tau = m * tau0;
  double sum = 0;
  long terms = 0;
  for (long k = 1; k + 2 * m <= p.M(); k += m) {
    const double dy = MeanFrequency(p, k + m, m, tau) - MeanFrequency(p, k, m, tau);
    sum += dy * dy;
    ++terms;
  }
  return terms == 0 ? 0 : std::sqrt(sum / (2.0 * terms));
}

double RefOadev(const Phase& p, long m, double tau0) {
  const double tau = m * tau0;
  if (p.M() - 2 * m <= 0) return 0;
  double sum = 0;
  for (long i = 1; i <= p.M() - 2 * m; ++i) {
    const double d = p.x(i + 2 * m) - 2 * p.x(i + m) + p.x(i);
    sum += d * d;
  }
  return std::sqrt(sum / (2.0 * (p.M() - 2 * m) * tau * tau));
}

double RefMdev(const Phase& p, long m, double tau0) {
  const double tau = m * tau0;
  const long windows = p.M() - 3 * m + 1;
  if (windows <= 0) return 0;
  double sum = 0;
  for (long j = 1; j <= windows; ++j) {
    double inner = 0;
    for (long i = j; i <= j + m - 1; ++i) inner += p.x(i + 2 * m) - 2 * p.x(i + m) + p.x(i);
    sum += inner * inner;
  }
  return std::sqrt(sum / (2.0 * m * m * tau * tau * windows));
}

double RefHdev(const Phase& p, long m, double tau0) {
  const double tau = m * tau0;
  double sum = 0;
  long terms = 0;
  for (long k = 1; k + 3 * m <= p.M(); k += m) {
    const double d =
        MeanFrequency(p, k + 2 * m, m, tau) - 2 * MeanFrequency(p, k + m, m, tau) + MeanFrequency(p, k, m, tau);
    sum += d * d;
    ++terms;
  }
  return terms == 0 ? 0 : std::sqrt(sum / (6.0 * terms));
}

double RefOhdev(const Phase& p, long m, double tau0) {
  const double tau = m * tau0;
  if (p.M() - 3 * m <= 0) return 0;
  double sum = 0;
  for (long i = 1; i <= p.M() - 3 * m; ++i) {
    const double d = p.x(i + 3 * m) - 3 * p.x(i + 2 * m) + 3 * p.x(i + m) - p.x(i);
    sum += d * d;
  }
  return std::sqrt(sum / (6.0 * (p.M() - 3 * m) * tau * tau));
}

double RefTotdev(const Phase& p, long m, double tau0) {
  const long M = p.M();
  if (m > M - 3) return 0;
  // The record extended by reflection at both ends.
  std::map<long, double> ext;
  for (long i = 1; i <= M; ++i) ext[i] = p.x(i);
  for (long j = 1; j <= M - 1; ++j) {
    ext[1 - j] = 2 * p.x(1) - p.x(1 + j);
    ext[M + j] = 2 * p.x(M) - p.x(M - j);
  }
  const double tau = m * tau0;
  double sum = 0;
  for (long i = 2; i <= M - 1; ++i) {
    const double d = ext.at(i - m) - 2 * ext.at(i) + ext.at(i + m);
    sum += d * d;
  }
  return std::sqrt(sum / (2.0 * (M - 2) * tau * tau));
}

double RefTheo1(const Phase& p, long m, double tau0) {
  const long M = p.M();
  if (M - m <= 0) return 0;
  double sum = 0;
  for (long i = 1; i <= M - m; ++i) {
    for (long delta = 0; delta <= m / 2 - 1; ++delta) {
      const double t = p.x(i) - p.x(i - delta + m / 2) + p.x(i + m) - p.x(i + delta + m / 2);
      sum += t * t / (m / 2.0 - delta);
    }
  }
  const double tau = m * tau0;
  return std::sqrt(sum / (0.75 * (M - m) * tau * tau));
}

double RefTieRms(const Phase& p, long m, double) {
  if (!(p.M() / 4.0 > m)) return 0;
  double sum = 0;
  for (long i = 1; i <= p.M() - m; ++i) sum += (p.x(i + m) - p.x(i)) * (p.x(i + m) - p.x(i));
  return std::sqrt(sum / (p.M() - m));
}

std::vector<StabilityPoint> RefMtie(const Phase& p, double tau0) {
  std::vector<StabilityPoint> out;
  for (long m = 1; m <= p.M() - 1; m *= 2) {
    double worst = 0;
    for (long k = 1; k + m <= p.M(); ++k) {
      double hi = p.x(k), lo = p.x(k);
      for (long i = k; i <= k + m; ++i) {
        hi = std::max(hi, p.x(i));
        lo = std::min(lo, p.x(i));
      }
      worst = std::max(worst, hi - lo);
    }
    out.push_back({m * tau0, worst});
  }
  return out;
}

using RefMeasure = std::function<double(const Phase&, long, double)>;

std::vector<StabilityPoint> RefSeries(StabilityMeasure measure, const Phase& p, double tau0) {
  static const std::map<StabilityMeasure, RefMeasure> refs = {
      {StabilityMeasure::Allan, RefAdev},
      {StabilityMeasure::OverlappingAllan, RefOadev},
      {StabilityMeasure::ModifiedAllan, RefMdev},
      {StabilityMeasure::Hadamard, RefHdev},
      {StabilityMeasure::OverlappingHadamard, RefOhdev},
      {StabilityMeasure::Total, RefTotdev},
      {StabilityMeasure::Theo1, RefTheo1},
      {StabilityMeasure::TieRms, RefTieRms},
  };
  if (measure == StabilityMeasure::Mtie) return RefMtie(p, tau0);
  const bool theo = measure == StabilityMeasure::Theo1;
  std::vector<StabilityPoint> out;
  for (long m = theo ? 10 : 1;; m *= 2) {
    const double value = refs.at(measure)(p, m, tau0);
    if (value == 0) break;
    out.push_back({(theo ? 0.75 : 1.0) * m * tau0, value});
  }
  return out;
}

// ---- Data ----

double Gaussian(std::mt19937_64& rng) {
  const double u1 = (static_cast<double>(rng() >> 11) + 1.0) * 0x1.0p-53;
  const double u2 = static_cast<double>(rng() >> 11) * 0x1.0p-53;
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

enum class Noise { White, RandomWalk, WhiteWithOffset };

std::vector<double> MakePhase(Noise noise, std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<double> v(n);
  double walk = 0;
  for (auto& x : v) {
    const double g = Gaussian(rng) * 1e-9;
    switch (noise) {
      case Noise::White:
        x = g;
        break;
      case Noise::RandomWalk:
        walk += g;
        x = walk;
        break;
      case Noise::WhiteWithOffset:
        x = 4.7e-8 + g;
        break;
    }
  }
  return v;
}

std::vector<double> Taus(const std::vector<StabilityPoint>& points) {
  std::vector<double> t;
  for (const auto& p : points) t.push_back(p.tau);
  return t;
}

void ExpectSameSeries(const std::vector<StabilityPoint>& actual, const std::vector<StabilityPoint>& expected,
                      double relTol, const std::string& label) {
  ASSERT_EQ(actual.size(), expected.size()) << label;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].tau, expected[i].tau) << label << " point " << i;
    EXPECT_LE(std::abs(actual[i].value - expected[i].value), relTol * std::abs(expected[i].value))
        << label << " point " << i << " value " << actual[i].value << " expected " << expected[i].value;
  }
}

std::vector<double> OctaveTaus(std::initializer_list<double> t) { return t; }

}  // namespace

// ---- Agreement with the plain formulas ----

TEST(StabilityMeasures, AgreeWithPlainFormulasOnRandomData) {
  const std::size_t lengths[] = {3, 4, 5, 7, 10, 11, 37, 100, 257, 1000, 2049};
  const Noise noises[] = {Noise::White, Noise::RandomWalk, Noise::WhiteWithOffset};
  std::uint64_t seed = 17;
  for (Noise noise : noises) {
    for (std::size_t n : lengths) {
      const Phase p{MakePhase(noise, n, ++seed)};
      for (const MeasureInfo& info : kMeasureCatalogue) {
        const std::string label =
            std::string(info.title) + " M=" + std::to_string(n) + " noise " + std::to_string(static_cast<int>(noise));
        ExpectSameSeries(AllMeasurePoints(info.measure, p.v), RefSeries(info.measure, p, kSampleInterval), 1e-12,
                         label);
      }
    }
  }
}

// Long enough that Theo1 splits its work between threads and over slices of the record.
TEST(StabilityMeasures, Theo1AgreesOnLongRecords) {
  for (std::size_t n : {5003u, 40001u}) {
    const Phase p{MakePhase(Noise::RandomWalk, n, 99)};
    // The plain double loop is slow at the largest factors; check the first points and the last one.
    const auto actual = AllMeasurePoints(StabilityMeasure::Theo1, p.v);
    ASSERT_FALSE(actual.empty());
    for (std::size_t k = 0; k < actual.size(); ++k) {
      const long m = 10L << k;
      if (n > 10000 ? m > 640 : false) continue;
      const double expected = RefTheo1(p, m, kSampleInterval);
      EXPECT_LE(std::abs(actual[k].value - expected), 1e-12 * expected) << "M=" << n << " m=" << m;
      EXPECT_EQ(actual[k].tau, 7.5 * m);
    }
  }
}

// Past 2^20 terms a pass is cut into pieces that threads share (MDEV starts a
// fresh window in each); the pieces must add up to the plain sum.
TEST(StabilityMeasures, LongPassesCutIntoPiecesAgreeWithThePlainFormulas) {
  const Phase p{MakePhase(Noise::RandomWalk, (1u << 20) + 300007u, 7)};
  const struct {
    StabilityMeasure measure;
    RefMeasure ref;
    std::vector<long> factors;
  } cases[] = {
      {StabilityMeasure::Allan, RefAdev, {1}},
      {StabilityMeasure::OverlappingAllan, RefOadev, {1, 7, 4096}},
      {StabilityMeasure::ModifiedAllan, RefMdev, {1, 7, 64}},
      {StabilityMeasure::OverlappingHadamard, RefOhdev, {1, 7, 4096}},
      {StabilityMeasure::Total, RefTotdev, {7}},
      {StabilityMeasure::TieRms, RefTieRms, {1, 4096}},
  };
  for (const auto& c : cases) {
    for (const long m : c.factors) {
      const double expected = c.ref(p, m, kSampleInterval);
      EXPECT_NEAR(MeasureValue(c.measure, p.v, m, kSampleInterval), expected, 1e-11 * expected)
          << MeasureInfoOf(c.measure).title << " m=" << m;
    }
  }
}

// The vector loop reads eight samples at a time from wherever the record starts,
// which in a larger buffer is any multiple of 8 bytes.
TEST(StabilityMeasures, Theo1ReadsRecordsAtAnyAddress) {
  const auto noise = MakePhase(Noise::RandomWalk, 27 + 8, 31);
  const std::vector<double> zeros(27 + 8, 0.0);
  for (std::size_t offset = 0; offset < 8; ++offset) {
    EXPECT_EQ(Theo1Deviation(std::span<const double>(zeros).subspan(offset, 27), 10), 0.0) << offset;
    const std::span<const double> x = std::span<const double>(noise).subspan(offset, 27);
    const Phase p{std::vector<double>(x.begin(), x.end())};
    const double expected = RefTheo1(p, 10, kSampleInterval);
    EXPECT_NEAR(Theo1Deviation(x, 10), expected, 1e-12 * expected) << offset;
  }
}

TEST(StabilityMeasures, OtherSampleIntervalScalesTau) {
  const Phase p{MakePhase(Noise::White, 300, 5)};
  for (const MeasureInfo& info : kMeasureCatalogue) {
    ExpectSameSeries(AllMeasurePoints(info.measure, p.v, 1.0), RefSeries(info.measure, p, 1.0), 1e-12,
                     std::string(info.title));
  }
}

// ---- Closed-form cases ----

TEST(StabilityMeasures, LinearPhaseHasNoAllanTypeDeviation) {
  // Exactly representable values, so every difference of differences is exactly 0.
  std::vector<double> x(500);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = (5.0 + 3.0 * static_cast<double>(i)) * 0x1.0p-32;
  for (const MeasureInfo& info : kMeasureCatalogue) {
    const auto points = AllMeasurePoints(info.measure, x);
    if (info.measure == StabilityMeasure::TieRms || info.measure == StabilityMeasure::Mtie) {
      // A steady drift of 3 units per sample: every interval error is 3 m units.
      ASSERT_FALSE(points.empty()) << info.title;
      for (const auto& p : points) EXPECT_EQ(p.value, 3.0 * (p.tau / kSampleInterval) * 0x1.0p-32) << info.title;
    } else {
      EXPECT_TRUE(points.empty()) << info.title;
    }
  }
}

TEST(StabilityMeasures, MtieOfPhaseStepIsTheStepWhereverItLies) {
  const std::size_t n = 100;
  for (std::size_t stepAt : {1u, 50u, 98u, 99u}) {
    std::vector<double> x(n, 2e-9);
    for (std::size_t i = stepAt; i < n; ++i) x[i] = 2e-9 + 7.5e-9;
    const auto points = MtieSeries(x);
    EXPECT_EQ(Taus(points), OctaveTaus({10, 20, 40, 80, 160, 320, 640})) << stepAt;
    for (const auto& p : points) EXPECT_DOUBLE_EQ(p.value, 7.5e-9) << "step at " << stepAt << " tau " << p.tau;
  }
}

TEST(StabilityMeasures, MtieOfTenSamplesSeesTheLastOne) {
  std::vector<double> x = {0, 1, 0, 1, 0, 1, 0, 1, 0, 9};
  const auto points = MtieSeries(x);
  ASSERT_EQ(Taus(points), OctaveTaus({10, 20, 40, 80}));
  for (const auto& p : points) EXPECT_EQ(p.value, 9.0);
}

TEST(StabilityMeasures, WhitePhaseNoiseAllanDeviationFallsAsOneOverTau) {
  const double sigma = 1e-9;
  const auto x = MakePhase(Noise::White, 65536, 2024);
  for (long m = 1; m <= 64; m *= 2) {
    const double tau = kSampleInterval * m;
    // White phase noise: sigma_y(tau) = sqrt(3) sigma_x / tau.
    EXPECT_NEAR(OverlappingAllanDeviation(x, m) * tau / (std::sqrt(3.0) * sigma), 1.0, 0.05) << m;
  }
  EXPECT_NEAR(AllanDeviation(x, 1) / AllanDeviation(x, 32), 32.0, 32.0 * 0.15);
}

TEST(StabilityMeasures, TieRmsOfSteadyDriftAndItsQuarterRecordLimit) {
  struct Case {
    std::size_t samples;
    std::vector<double> taus;
  } cases[] = {
      {32, {10, 20, 40}},      // M/4 = 8 is not above m = 8
      {33, {10, 20, 40, 80}},  // 8.25 > 8
      {40, {10, 20, 40, 80}}, {4, {}}, {5, {10}},
  };
  for (const auto& c : cases) {
    std::vector<double> x(c.samples);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i) * 0x1.0p-30;
    const auto points = AllMeasurePoints(StabilityMeasure::TieRms, x);
    EXPECT_EQ(Taus(points), c.taus) << c.samples;
    for (const auto& p : points) EXPECT_EQ(p.value, p.tau / kSampleInterval * 0x1.0p-30);
  }
}

TEST(StabilityMeasures, Theo1IsPlottedAtThreeQuartersOfTau) {
  const auto x = MakePhase(Noise::White, 1000, 3);
  EXPECT_EQ(Taus(AllMeasurePoints(StabilityMeasure::Theo1, x)), OctaveTaus({75, 150, 300, 600, 1200, 2400, 4800}));
  EXPECT_EQ(Taus(AllMeasurePoints(StabilityMeasure::Theo1, MakePhase(Noise::White, 20, 3))), OctaveTaus({75}));
  EXPECT_TRUE(AllMeasurePoints(StabilityMeasure::Theo1, MakePhase(Noise::White, 10, 3)).empty());
}

TEST(StabilityMeasures, TenSamplesGiveTheExpectedTaus) {
  const auto x = MakePhase(Noise::White, 10, 8);
  const std::map<StabilityMeasure, std::vector<double>> expected = {
      {StabilityMeasure::Allan, {10, 20, 40}},
      {StabilityMeasure::OverlappingAllan, {10, 20, 40}},
      {StabilityMeasure::ModifiedAllan, {10, 20}},
      {StabilityMeasure::Hadamard, {10, 20}},
      {StabilityMeasure::OverlappingHadamard, {10, 20}},
      {StabilityMeasure::Total, {10, 20, 40}},
      {StabilityMeasure::Theo1, {}},
      {StabilityMeasure::TieRms, {10, 20}},
      {StabilityMeasure::Mtie, {10, 20, 40, 80}},
  };
  for (const MeasureInfo& info : kMeasureCatalogue) {
    EXPECT_EQ(Taus(AllMeasurePoints(info.measure, x)), expected.at(info.measure)) << info.title;
  }
}

TEST(StabilityMeasures, AllanDeviationUsesNonOverlappingTerms) {
  // With M = 10 and m = 4 only i = 1 counts: a disturbance at x[10] is not seen,
  // one at x[9] is.
  std::vector<double> x(10, 0.0);
  x[9] = 1.0;
  EXPECT_EQ(AllanDeviation(x, 4), 0.0);
  x[9] = 0.0;
  x[8] = 1.0;
  EXPECT_DOUBLE_EQ(AllanDeviation(x, 4), std::sqrt(1.0 / (2.0 * 40 * 40)));
  // m = 2: terms at i = 1, 3, 5 (each a sum over x[i], x[i+2], x[i+4]).
  EXPECT_DOUBLE_EQ(AllanDeviation(x, 2), std::sqrt(1.0 / (2.0 * 3 * 20 * 20)));
}

TEST(StabilityMeasures, HadamardSeriesDifferFromOverlappingOnes) {
  const auto x = MakePhase(Noise::RandomWalk, 500, 11);
  EXPECT_EQ(HadamardDeviation(x, 1), OverlappingHadamardDeviation(x, 1));
  EXPECT_NE(HadamardDeviation(x, 2), OverlappingHadamardDeviation(x, 2));
  EXPECT_NE(HadamardDeviation(x, 16), OverlappingHadamardDeviation(x, 16));
}

TEST(StabilityMeasures, ConstantDataLeaveOnlyMtieWithZeros) {
  const std::vector<double> x(100, -3.25e-9);
  for (const MeasureInfo& info : kMeasureCatalogue) {
    const auto points = AllMeasurePoints(info.measure, x);
    if (info.measure == StabilityMeasure::Mtie) {
      EXPECT_EQ(Taus(points), OctaveTaus({10, 20, 40, 80, 160, 320, 640}));
      for (const auto& p : points) EXPECT_EQ(p.value, 0.0);
    } else {
      EXPECT_TRUE(points.empty()) << info.title;
    }
  }
}

// ---- Bad input ----

TEST(StabilityMeasures, BadInputNeverGivesNonFiniteOrUnorderedPoints) {
  const double big = std::numeric_limits<double>::max();
  std::vector<double> outlier = MakePhase(Noise::White, 200, 4);
  outlier[77] = 1e6;  // a garbage reading, far beyond any real time interval
  std::vector<double> hugeOutlier = outlier;
  hugeOutlier[77] = 1e300;  // squares overflow: the series end instead
  std::vector<double> nearLimits;
  for (int i = 0; i < 64; ++i) nearLimits.push_back(i % 2 == 0 ? big : -big);
  std::vector<double> tiny;
  for (int i = 0; i < 64; ++i) tiny.push_back((i % 3) * std::numeric_limits<double>::denorm_min());
  std::vector<double> withNan = MakePhase(Noise::White, 64, 6);
  withNan[30] = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> withInf = MakePhase(Noise::White, 64, 7);
  withInf[5] = std::numeric_limits<double>::infinity();
  std::vector<double> hugeRamp;
  for (int i = 0; i < 64; ++i) hugeRamp.push_back(big / 64 * i);

  const struct {
    const char* name;
    std::vector<double> x;
  } cases[] = {
      {"empty", {}},
      {"one", {1e-9}},
      {"two", {1e-9, 2e-9}},
      {"outlier", outlier},
      {"huge outlier", hugeOutlier},
      {"near limits", nearLimits},
      {"denormals", tiny},
      {"NaN", withNan},
      {"infinity", withInf},
      {"huge ramp", hugeRamp},
  };
  for (const auto& c : cases) {
    for (const MeasureInfo& info : kMeasureCatalogue) {
      const auto points = AllMeasurePoints(info.measure, c.x);
      double lastTau = 0;
      for (const auto& p : points) {
        EXPECT_TRUE(std::isfinite(p.value)) << c.name << " " << info.title;
        EXPECT_TRUE(std::isfinite(p.tau)) << c.name << " " << info.title;
        EXPECT_GT(p.tau, lastTau) << c.name << " " << info.title;
        if (info.measure == StabilityMeasure::Mtie) {
          EXPECT_GE(p.value, 0.0) << c.name;
        } else {
          EXPECT_GT(p.value, 0.0) << c.name << " " << info.title;
        }
        lastTau = p.tau;
      }
    }
  }
  // Fewer than three samples: no Allan-type measure has a term.
  for (const MeasureInfo& info : kMeasureCatalogue) {
    if (info.measure == StabilityMeasure::Mtie) continue;
    EXPECT_TRUE(AllMeasurePoints(info.measure, std::vector<double>{1e-9, 5e-9}).empty()) << info.title;
  }
  // A large but representable outlier still gives every series its points.
  for (const MeasureInfo& info : kMeasureCatalogue) {
    EXPECT_FALSE(AllMeasurePoints(info.measure, outlier).empty()) << info.title;
  }
}

TEST(StabilityMeasures, OutOfRangeFactorsHaveNoValue) {
  const auto x = MakePhase(Noise::White, 50, 12);
  for (std::int64_t m : {std::int64_t{0}, std::int64_t{-4}, std::int64_t{50}, std::int64_t{1} << 40}) {
    for (const MeasureInfo& info : kMeasureCatalogue) {
      EXPECT_EQ(MeasureValue(info.measure, x, m), 0.0) << info.title << " m=" << m;
    }
  }
  EXPECT_EQ(Theo1Deviation(x, 11), 0.0);  // Theo1 needs an even factor
}

// ---- Loading from the PPS TI series ----

TEST(LoadPhaseSamples, SkipsTheFirstPointAndKeepsNullPoints) {
  ChartSeries series("PPS TI");
  series.Add(1.0, 100.0);
  series.Add(2.0, 1.0);
  series.AddNull(3.0, 2.0);
  series.Add(4.0, 3.0);
  EXPECT_EQ(LoadPhaseSamples(series), (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(LoadPhaseSamples(std::vector<double>{100.0, 1.0, 2.0, 3.0}), (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_TRUE(LoadPhaseSamples(ChartSeries()).empty());
  EXPECT_TRUE(LoadPhaseSamples(std::vector<double>{5.0}).empty());
}

TEST(LoadPhaseSamples, FirstPointNeverChangesAMeasure) {
  auto y = MakePhase(Noise::RandomWalk, 101, 21);
  const auto before = LoadPhaseSamples(y);
  y[0] = 1.0;
  const auto after = LoadPhaseSamples(y);
  for (const MeasureInfo& info : kMeasureCatalogue) {
    const auto a = AllMeasurePoints(info.measure, before);
    const auto b = AllMeasurePoints(info.measure, after);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].value, b[i].value);
  }
}

// ---- Point by point ----

TEST(MeasurePoints, YieldsOnePointAtATimeAndStaysEnded) {
  const auto x = MakePhase(Noise::White, 100, 1);
  MeasurePoints points(StabilityMeasure::OverlappingAllan, x);
  StabilityPoint p;
  ASSERT_TRUE(points.Next(p));
  EXPECT_EQ(p.tau, 10.0);
  EXPECT_EQ(p.value, OverlappingAllanDeviation(x, 1));
  int more = 0;
  while (points.Next(p)) ++more;
  EXPECT_EQ(more, 5);  // up to m = 32, where M - 2m = 36 > 0; m = 64 has no terms
  EXPECT_FALSE(points.Next(p));
}

// ---- The field's published reference values ----

TEST(StabilityMeasures, MatchPublishedValuesForTheNbsThousandPointData) {
  // The classic 1000-point frequency test data (a Lehmer generator from seed
  // 1234567890, values in (0, 1), tau0 = 1 s) and the deviations published for
  // them with seven digits.
  std::vector<double> y;
  long long n = 1234567890;
  for (int i = 0; i < 1000; ++i) {
    y.push_back(static_cast<double>(n) / 2147483647.0);
    n = 16807 * n % 2147483647;
  }
  double mean = 0;
  for (double v : y) mean += v;
  EXPECT_NEAR(mean / 1000, 4.897745e-01, 1e-7);
  std::vector<double> x{0.0};  // phase: the running sum of frequency
  for (double v : y) x.push_back(x.back() + v);

  const struct {
    StabilityMeasure measure;
    long m;
    double published;
  } cases[] = {
      {StabilityMeasure::Allan, 1, 2.922319e-01},
      {StabilityMeasure::OverlappingAllan, 10, 9.159953e-02},
      {StabilityMeasure::OverlappingAllan, 100, 3.241343e-02},
      {StabilityMeasure::ModifiedAllan, 10, 6.172376e-02},
      {StabilityMeasure::ModifiedAllan, 100, 2.170921e-02},
      {StabilityMeasure::Total, 10, 9.134743e-02},
      {StabilityMeasure::Total, 100, 3.406530e-02},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(MeasureValue(c.measure, x, c.m, 1.0), c.published, 1e-6 * c.published)
        << MeasureInfoOf(c.measure).title << " m=" << c.m;
  }
}
