#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/ConfidenceInterval.h"
#include "analysis/KasdinNoise.h"
#include "analysis/NoiseIdentification.h"
#include "analysis/Stability.h"
#include "analysis/StabilityView.h"

namespace {

TEST(ShortRecordNoise, ExpectedB1MatchesItsClosedForms) {
  for (double n : {4.0, 10.0, 100.0}) {
    const auto ni = static_cast<std::int64_t>(n);
    struct Row {
      int mu;
      double b1;
    };
    const Row rows[] = {
        {3, n * (1 - n * n * n) / (2 * (n - 1) * (1 - 8.0))},
        {2, n * (n + 1) / 6},
        {1, n / 2},
        {0, n * std::log(n) / (2 * (n - 1) * std::log(2.0))},
        {-1, 1.0},
        {-2, (n * n - 1) / (1.5 * n * (n - 1))},
    };
    for (const Row& row : rows) EXPECT_NEAR(ExpectedB1(ni, row.mu) / row.b1, 1.0, 1e-13) << n << " mu " << row.mu;
  }
  // With two averages every slope expects 1, and that is all they can give.
  for (int mu = -2; mu <= 3; ++mu) EXPECT_NEAR(ExpectedB1(2, mu), 1.0, 1e-15);
  std::mt19937_64 rng(4);
  EXPECT_NEAR(MeasuredB1(KasdinPhase(-2, 3, rng), 1), 1.0, 1e-12);
  EXPECT_TRUE(std::isnan(ExpectedB1(1, 0)));
  EXPECT_EQ(AllanVarianceSlope(2), -2);
  EXPECT_EQ(AllanVarianceSlope(1), -2);
  EXPECT_EQ(AllanVarianceSlope(-4), 3);
}

// Records of 20 samples, many seeds: each type is the answer given most often.
// Not so flicker PM: the B1 table expects the same ratio of both phase noises,
// and flicker PM's lies close to the boundary with white FM, so it is placed
// among the phase noises in most seeds and then taken for flicker more often
// than for white, but white FM is found about as often as it.
TEST(ShortRecordNoise, GeneratedRecordsOfTwentySamplesAreIdentified) {
  struct Case {
    int alpha;
    int maxDifferences;
    double minRate;
  };
  const Case cases[] = {{2, 2, 0.40},  {1, 2, 0.32},  {0, 2, 0.65},  {-1, 2, 0.50},
                        {-2, 2, 0.50}, {-3, 3, 0.52}, {-4, 3, 0.47}, {-2, 3, 0.42}};
  constexpr int kSeeds = 1000;
  for (const Case& c : cases) {
    std::mt19937_64 rng(700 + c.alpha * 10 + c.maxDifferences);
    int found[7] = {};
    for (int seed = 0; seed < kSeeds; ++seed) {
      const NoiseEstimate e = FindNoise(KasdinPhase(c.alpha, 20, rng), 1, c.maxDifferences);
      ASSERT_TRUE(e.Identified());
      ASSERT_EQ(e.method, NoiseMethod::B1);
      ++found[2 - e.alpha];
    }
    const double rate = static_cast<double>(found[2 - c.alpha]) / kSeeds;
    std::printf("[ rates    ] alpha %+d (max differences %d): %.1f %% right\n", c.alpha, c.maxDifferences,
                100.0 * rate);
    EXPECT_GE(rate, c.minRate) << "alpha " << c.alpha;
    if (c.alpha == 1) {
      EXPECT_GT(found[0] + found[1], kSeeds / 2);
      EXPECT_GT(found[1], found[0]);
      continue;
    }
    for (int k = 0; k < 7; ++k) {
      if (k != 2 - c.alpha) {
        EXPECT_LT(found[k], found[2 - c.alpha]) << "alpha " << c.alpha << " taken for " << 2 - k;
      }
    }
  }
}

TEST(ShortRecordNoise, RSeparatesWhiteAndFlickerPm) {
  std::mt19937_64 rng(12);
  for (std::int64_t m = 4; m <= 64; m *= 2) {
    const double white = ExpectedR(2, m), flicker = ExpectedR(1, m);
    ASSERT_GT(flicker, 1.2 * white);
    const double boundary = std::sqrt(white * flicker);
    for (int seed = 0; seed < 20; ++seed) {
      EXPECT_LT(MeasuredR(KasdinPhase(2, 512, rng), m), boundary) << "m " << m;
      EXPECT_GT(MeasuredR(KasdinPhase(1, 512, rng), m), boundary) << "m " << m;
    }
  }
  // Both variances coincide at m = 1.
  EXPECT_NEAR(MeasuredR(KasdinPhase(1, 100, rng), 1), 1.0, 1e-12);
  // In the last octave (two averages, B1 always 1) the modified variance has
  // no value; the split is made at the largest m where it has one.
  for (int alpha : {2, 1}) {
    const auto x = KasdinPhase(alpha, 8640, rng);
    EXPECT_TRUE(std::isnan(MeasuredR(x, 4096)));
    const NoiseEstimate e = FindNoise(x, 4096, 2);
    EXPECT_EQ(e.method, NoiseMethod::B1);
    EXPECT_EQ(e.alpha, alpha);
  }
}

// Data made to sit on a boundary between two types, to rounding: the less
// divergent type, also after any sample moves by one ulp either way; a little
// further in, the more divergent one.
TEST(ShortRecordNoise, RatioOnABoundaryGoesToTheLessDivergentType) {
  for (std::int64_t n : {3, 10, 29}) {
    for (int alpha = -2; alpha <= 0; ++alpha) {
      SCOPED_TRACE("n " + std::to_string(n) + " alpha " + std::to_string(alpha));
      const double boundary =
          std::sqrt(ExpectedB1(n, AllanVarianceSlope(alpha)) * ExpectedB1(n, AllanVarianceSlope(alpha + 1)));
      // Frequencies k + s (-1)^k: a line (B1 = n (n + 1) / 6) that s turns
      // into alternation (B1 below 1).
      auto phase = [n](double s) {
        std::vector<double> x(static_cast<std::size_t>(n + 1), 0.0);
        for (std::int64_t k = 0; k < n; ++k)
          x[static_cast<std::size_t>(k + 1)] =
              x[static_cast<std::size_t>(k)] + static_cast<double>(k) + (k % 2 ? -s : s);
        return x;
      };
      double above = 0.0, below = 1e3;
      ASSERT_GT(MeasuredB1(phase(above), 1), boundary);
      ASSERT_LT(MeasuredB1(phase(below), 1), boundary);
      for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (above + below);
        (MeasuredB1(phase(mid), 1) > boundary ? above : below) = mid;
      }
      std::vector<double> x = phase(above);
      const double b1 = MeasuredB1(x, 1);
      ASSERT_GT(b1, boundary);
      ASSERT_LT(b1, boundary * (1 + 1e-12));
      const int chosen = IdentifyNoiseByB1(x, 1, 2).alpha;
      EXPECT_GT(chosen, alpha);
      for (std::size_t i = 0; i < x.size(); ++i) {
        for (double toward : {-1e300, 1e300}) {
          std::vector<double> nudged = x;
          nudged[i] = std::nextafter(x[i], toward);
          EXPECT_EQ(IdentifyNoiseByB1(nudged, 1, 2).alpha, chosen) << "sample " << i;
        }
      }
      double s = above;
      while (MeasuredB1(phase(s), 1) < boundary * (1 + 1e-6)) s *= 0.999;
      EXPECT_EQ(IdentifyNoiseByB1(phase(s), 1, 2).alpha, alpha);
    }
  }
}

// The total deviation has intervals at phase noise on a long record: at white
// PM and m = 1 its terms are the inner second differences, so the degrees of
// freedom are 36 (N - 2) / 70, those of the overlapping Allan variance at
// m = 1 (not N / 2); at flicker PM what the estimator's variance gives.
TEST(ShortRecordNoise, TotalDeviationHasIntervalsAtPhaseNoise) {
  constexpr std::size_t kN = 241218;
  std::mt19937_64 rng(31);
  const auto white = KasdinPhase(2, kN, rng, 1);
  const auto flicker = KasdinPhase(1, kN, rng, 256);
  const StabilityInterval w = IntervalOf(StabilityMeasure::Total, white, 1, TotalDeviation(white, 1));
  ASSERT_TRUE(w.Valid());
  EXPECT_EQ(w.alpha, 2);
  EXPECT_NEAR(w.edf / (36.0 * (kN - 2) / 70.0), 1.0, 1e-4);
  EXPECT_NEAR(w.edf / GreenhallRileyEdf(2, 2, 1, 1, 1, kN), 1.0, 1e-3);
  const StabilityInterval f = IntervalOf(StabilityMeasure::Total, flicker, 2, TotalDeviation(flicker, 2));
  ASSERT_TRUE(f.Valid());
  EXPECT_EQ(f.alpha, 1);
  EXPECT_EQ(f.edf, TotalDeviationEdf(1, kN, 2));
  EXPECT_GT(f.edf, 0.4 * kN);
}

// Short and bad records: every number finite; a point without an interval
// says why, and for noise that is only where fewer than two averages remain
// or the record is three samples (always a quadratic).
TEST(ShortRecordNoise, ShortRecordsGiveFiniteIntervalsOrSayWhyNot) {
  const StabilityMeasure measures[] = {
      StabilityMeasure::Allan,    StabilityMeasure::OverlappingAllan,    StabilityMeasure::ModifiedAllan,
      StabilityMeasure::Hadamard, StabilityMeasure::OverlappingHadamard, StabilityMeasure::Total};
  std::mt19937_64 rng(5);
  for (std::size_t n = 3; n <= 40; ++n) {
    const auto noise = KasdinPhase(0, n, rng);
    auto outlier = noise;
    outlier[n / 2] = 1e300;
    std::vector<double> linear(n), constant(n, 4e-8);
    for (std::size_t k = 0; k < n; ++k) linear[k] = 3e-9 * static_cast<double>(k) - 1e-7;
    const struct {
      const char* name;
      const std::vector<double>& x;
    } kinds[] = {{"noise", noise}, {"outlier", outlier}, {"linear", linear}, {"constant", constant}};
    for (const auto& kind : kinds) {
      for (StabilityMeasure measure : measures) {
        SCOPED_TRACE(std::string(kind.name) + " n " + std::to_string(n) + " " +
                     std::string(MeasureInfoOf(measure).shortName));
        ConfidenceIntervals run(kind.x);
        for (std::int64_t m = 1; m < static_cast<std::int64_t>(n); m *= 2) {
          const double value = MeasureValue(measure, kind.x, m);
          const StabilityInterval ci = run.Of(measure, m, value > 0.0 ? value : 1.0);
          ASSERT_TRUE(std::isfinite(ci.low) && std::isfinite(ci.high) && std::isfinite(ci.edf)) << "m " << m;
          const bool twoAverages = (static_cast<std::int64_t>(n) - 1) / m >= kMinAverages;
          if (ci.Valid()) {
            EXPECT_TRUE(ci.low > 0.0 && ci.low < ci.high && ci.edf > 0.0) << "m " << m;
            continue;
          }
          EXPECT_NE(StabilityValueTip(1e-11, ci).find("(no interval"), std::string::npos) << "m " << m;
          if (!twoAverages) {
            EXPECT_EQ(ci.gap, IntervalGap::TooFewSamples) << "m " << m;
          } else if (kind.x == noise) {
            // (Where the measure has no value at m, nor has it a model.)
            if (value > 0.0) {
              EXPECT_EQ(n, 3u) << "m " << m;
            }
          } else if (kind.x != outlier) {
            EXPECT_EQ(ci.gap, IntervalGap::NoResidual) << "m " << m;
          }
        }
      }
    }
  }
}

// The lag-1 rule step by step: difference while delta = r1 / (1 + r1) is at
// least 0.25 (a tie differences), then alpha = 2 - 2d - round(2 delta) with
// halves to even, bounded by the family's range.
TEST(ShortRecordNoise, LagOneStepAtEachBranchAndTie) {
  struct Row {
    double r1;
    int d, maxDifferences;
    bool stops;
    int alpha;
  };
  const Row rows[] = {
      {0.0, 0, 2, true, 2},         // white PM
      {1.0 / 3.0, 0, 2, false, 0},  // delta = 0.25 exactly: difference
      {1.0 / 3.0, 1, 3, false, 0},  // likewise for Hadamard
      {1.0 / 3.0, 2, 2, true, -2},  // at the last difference: round(0.5) = 0
      {0.24, 0, 2, true, 2},        // delta 0.19: round(0.39) = 0
      {0.2, 1, 2, true, 0},         // one difference taken
      {3.0, 2, 2, true, -2},        // round(1.5) = 2 gives -4, bounded to -2
      {3.0, 3, 3, true, -4},        // -6, bounded to -4
      {-0.5, 1, 2, true, 2},        // a differenced white PM: delta = -1
      {-1.0 / 3.0, 0, 2, true, 2},  // delta = -0.5: 3, bounded to +2
      {0.6, 2, 3, false, 0},        // Hadamard goes on to a third difference
  };
  for (const Row& row : rows) {
    int alpha = 99;
    EXPECT_EQ(LagOneStep(row.r1, row.d, row.maxDifferences, alpha), row.stops) << "r1 " << row.r1 << " d " << row.d;
    if (row.stops) {
      EXPECT_EQ(alpha, row.alpha) << "r1 " << row.r1 << " d " << row.d;
    }
  }
}

// On a record of 31 samples (30 averages, the fewest the autocorrelation is
// used at) whose plain lag-1 correlation is 0.34, delta would be 0.254 and
// the record differenced; scaled by (n - 1) / n it is 0.329 and stops there.
// The mean is all that is removed: a large frequency offset leaves white PM
// white PM, by differencing.
TEST(ShortRecordNoise, LagOneUsesScaledCorrelationOfTheRawSamples) {
  std::mt19937_64 rng(3);
  std::normal_distribution<double> g(0.0, 1.0);
  std::vector<double> noise(31);
  for (double& v : noise) v = g(rng);
  auto record = [&noise](double s) {
    std::vector<double> x(noise);
    for (std::size_t k = 0; k < x.size(); ++k) x[k] += s * static_cast<double>(k);
    return x;
  };
  auto plainR1 = [](const std::vector<double>& z) {
    double mean = 0.0;
    for (double v : z) mean += v;
    mean /= static_cast<double>(z.size());
    double num = 0.0, den = 0.0;
    for (std::size_t k = 0; k < z.size(); ++k) {
      den += (z[k] - mean) * (z[k] - mean);
      if (k + 1 < z.size()) num += (z[k] - mean) * (z[k + 1] - mean);
    }
    return num / den;
  };
  double lo = 0.0, hi = 1.0;
  ASSERT_LT(plainR1(record(lo)), 0.34);
  ASSERT_GT(plainR1(record(hi)), 0.34);
  for (int i = 0; i < 100; ++i) (plainR1(record(0.5 * (lo + hi))) < 0.34 ? lo : hi) = 0.5 * (lo + hi);
  const auto x = record(hi);
  const NoiseEstimate e = IdentifyNoise(x, 1, 2);
  ASSERT_TRUE(e.Identified());
  EXPECT_EQ(e.method, NoiseMethod::Acf);
  const double r1 = plainR1(x) * 30.0 / 31.0;
  EXPECT_NEAR(e.unrounded, 2.0 - 2.0 * r1 / (1.0 + r1), 1e-9);  // no difference taken
  EXPECT_EQ(e.alpha, 2);
  // One sample fewer: 29 averages, the B1 ratio.
  EXPECT_EQ(FindNoise(std::span<const double>(x).first(30), 1, 2).method, NoiseMethod::B1);
  EXPECT_FALSE(IdentifyNoise(std::span<const double>(x).first(30), 1, 2).Identified());

  std::vector<double> drifting(8640);
  for (std::size_t k = 0; k < drifting.size(); ++k) {
    const double t = static_cast<double>(k);
    drifting[k] = 1e-9 * g(rng) + 1e-6 + 3e-9 * t;
  }
  for (std::int64_t m : {1, 4, 16}) EXPECT_EQ(IdentifyNoise(drifting, m, 2).alpha, 2) << "m " << m;
}

// Barnes' classes at the boundaries (geometric means of the expectations at n
// terms), R(n) between the phase noises, and the Hadamard step: on a
// boundary the less divergent type, a millionth beyond it the more divergent.
TEST(ShortRecordNoise, RatioClassesAtTheirBoundaries) {
  for (std::int64_t n : {3, 12, 851, 8638}) {
    SCOPED_TRACE("n " + std::to_string(n));
    for (int mu = 1; mu >= -1; --mu) {
      const double boundary = std::sqrt(ExpectedB1(n, mu) * ExpectedB1(n, mu - 1));
      EXPECT_EQ(B1Slope(boundary, n), mu - 1) << "mu " << mu;
      EXPECT_EQ(B1Slope(boundary * (1 + 1e-6), n), mu) << "mu " << mu;
      EXPECT_EQ(B1Slope(ExpectedB1(n, mu), n), n == 2 ? -2 : mu) << "mu " << mu;
    }
    EXPECT_EQ(B1Slope(0.1, n), -2);
    EXPECT_EQ(HadamardStep(ExpectedB1(n, 1), n), -4);
    EXPECT_EQ(HadamardStep(ExpectedB1(n, 0), n), -3);
    EXPECT_EQ(HadamardStep(ExpectedB1(n, -1), n), -2);
    EXPECT_EQ(HadamardStep(std::sqrt(ExpectedB1(n, 1) * ExpectedB1(n, 0)), n), -3);
    EXPECT_EQ(HadamardStep(std::sqrt(ExpectedB1(n, 0) * ExpectedB1(n, -1)), n), -2);
  }
  EXPECT_EQ(HadamardStep(std::nan(""), 10), -2);
  for (std::int64_t m : {2, 75, 4096}) {
    const double boundary = std::sqrt(ExpectedR(2, m) * ExpectedR(1, m));
    EXPECT_EQ(PhaseNoiseFromR(boundary, m), 2) << "m " << m;
    EXPECT_EQ(PhaseNoiseFromR(boundary * (1 + 1e-6), m), 1) << "m " << m;
    EXPECT_EQ(PhaseNoiseFromR(ExpectedR(2, m), m), 2) << "m " << m;
    EXPECT_EQ(PhaseNoiseFromR(ExpectedR(1, m), m), 1) << "m " << m;
  }
  // The term counts, at 1001 samples and m = 75 (13 averages).
  const std::pair<StabilityMeasure, std::int64_t> terms[] = {{StabilityMeasure::Allan, 12},
                                                             {StabilityMeasure::OverlappingAllan, 851},
                                                             {StabilityMeasure::ModifiedAllan, 777},
                                                             {StabilityMeasure::Hadamard, 11},
                                                             {StabilityMeasure::OverlappingHadamard, 776},
                                                             {StabilityMeasure::Total, 999}};
  for (const auto& [measure, count] : terms) EXPECT_EQ(TermCount(NoiseRuleOf(measure), 1001, 75), count);
}

// Frequencies k + s (-1)^k over n averages of m samples, phase in between
// interpolated: B1 falls from n (n + 1) / 6 as s grows. The s where B1 is b1.
std::vector<double> RecordWithB1(std::int64_t averages, std::int64_t m, double b1) {
  auto phase = [&](double s) {
    std::vector<double> x(static_cast<std::size_t>(averages * m + 1), 0.0);
    for (std::int64_t k = 0; k < averages; ++k) {
      const double y = static_cast<double>(k) + (k % 2 ? -s : s);
      for (std::int64_t j = 1; j <= m; ++j)
        x[static_cast<std::size_t>(k * m + j)] = x[static_cast<std::size_t>(k * m)] + y * static_cast<double>(j) / m;
    }
    return x;
  };
  double lo = 0.0, hi = 1e3;
  for (int i = 0; i < 200; ++i) (MeasuredB1(phase(0.5 * (lo + hi)), m) > b1 ? lo : hi) = 0.5 * (lo + hi);
  return phase(lo);
}

// Which way each point's type is found, with the thresholds tied: 30
// averages use the autocorrelation, 29 the B1 ratio at the measure's term
// count, and fewer than the measure's minimum carry the previous factor's
// type. A B1 of 0.831 at 13 averages (1001 samples, m = 75) is phase noise
// for ADEV (12 terms, boundary 0.850) and white FM for OADEV (851 terms,
// boundary 0.817).
TEST(ShortRecordNoise, EachMeasureFindsItsTypeTheWayItsRuleSays) {
  std::mt19937 rng(8);
  std::normal_distribution<double> g(0.0, 1e-9);
  std::vector<double> walk(3000);
  double p = 0.0;
  for (double& v : walk) v = p += g(rng);
  struct Row {
    StabilityMeasure measure;
    std::int64_t m;
    NoiseMethod method;
    std::int64_t foundAt;
  };
  // 2999 samples' steps: m = 99 gives 30 averages, 100 gives 29, 299 gives
  // 10, 300 gives 9, 374 gives 8, 375 gives 7, 749 gives 4, 750 gives 3.
  const Row rows[] = {
      {StabilityMeasure::Allan, 99, NoiseMethod::Acf, 0},
      {StabilityMeasure::Allan, 100, NoiseMethod::B1, 0},
      {StabilityMeasure::Allan, 299, NoiseMethod::B1, 0},
      {StabilityMeasure::Allan, 300, NoiseMethod::Carried, 299},
      {StabilityMeasure::Allan, 600, NoiseMethod::Carried, 299},
      {StabilityMeasure::OverlappingAllan, 300, NoiseMethod::B1, 0},
      {StabilityMeasure::OverlappingAllan, 374, NoiseMethod::B1, 0},
      {StabilityMeasure::OverlappingAllan, 375, NoiseMethod::Carried, 374},
      {StabilityMeasure::OverlappingHadamard, 375, NoiseMethod::Carried, 187},  // first asked: from m / 2
      {StabilityMeasure::Total, 749, NoiseMethod::B1, 0},
      {StabilityMeasure::Total, 750, NoiseMethod::Carried, 749},
      {StabilityMeasure::Total, 1500, NoiseMethod::Carried, 749},
  };
  ConfidenceIntervals run(walk);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(MeasureInfoOf(row.measure).shortName) + " m " + std::to_string(row.m));
    const NoiseEstimate e = run.Noise(row.measure, row.m);
    ASSERT_TRUE(e.Identified());
    EXPECT_EQ(e.method, row.method);
    if (row.method == NoiseMethod::Carried) {
      EXPECT_EQ(e.foundAt, row.foundAt);
      EXPECT_EQ(e.alpha, run.Noise(row.measure, row.foundAt).alpha);
      const StabilityInterval ci = run.Of(row.measure, row.m, 1e-9);
      EXPECT_EQ(ci.carriedFrom, row.foundAt * kSampleInterval);
      EXPECT_NE(StabilityValueTip(1e-9, ci).find("carried from \u03c4 = " + std::to_string(row.foundAt * 10) + " s"),
                std::string::npos)
          << StabilityValueTip(1e-9, ci);
    }
    EXPECT_EQ(run.Noise(row.measure, row.m).method, row.method);  // asked again, the same
  }

  const auto x = RecordWithB1(13, 75, 0.831);
  ASSERT_NEAR(MeasuredB1(x, 75), 0.831, 1e-6);
  ConfidenceIntervals phaseDat(x);
  const NoiseEstimate adev = phaseDat.Noise(StabilityMeasure::Allan, 75);
  const NoiseEstimate oadev = phaseDat.Noise(StabilityMeasure::OverlappingAllan, 75);
  EXPECT_EQ(adev.method, NoiseMethod::B1);
  EXPECT_GE(adev.alpha, 1);
  EXPECT_EQ(oadev.method, NoiseMethod::B1);
  EXPECT_EQ(oadev.alpha, 0);
  // With the expectation at the 13 averages instead, both would be phase noise.
  EXPECT_GE(B1Identification(x).At(75, 2).alpha, 1);
}

}  // namespace
