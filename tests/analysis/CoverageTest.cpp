// How often the printed 68 % interval covers the true deviation, by Monte
// Carlo: records of each power-law noise, every point of each measure with an
// interval. The true deviation of a measure at m is taken as the root of the
// mean variance over all records of the run. Coverage is counted over the
// records whose noise type was found right at that point; how often that was
// is reported beside it.
//
// The run here is small enough for every test run. The full table (1000
// records each) is made with VARNEX_COVERAGE_RECORDS=1000, e.g.
//   VARNEX_COVERAGE_RECORDS=1000 build/test_analysis --gtest_filter='Coverage.*'
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "analysis/ConfidenceInterval.h"
#include "analysis/KasdinNoise.h"
#include "analysis/Stability.h"

namespace {

constexpr StabilityMeasure kMeasures[] = {
    StabilityMeasure::Allan,    StabilityMeasure::OverlappingAllan,    StabilityMeasure::ModifiedAllan,
    StabilityMeasure::Hadamard, StabilityMeasure::OverlappingHadamard, StabilityMeasure::Total};

// White and random-walk FM as running sums of white noise; the flicker noises
// by Kasdin's filter. Flicker PM runs in over 16 record lengths, as the phase
// of a receiver that has been running: its increments are then stationary,
// as the intervals assume, where from rest the start of a record wanders
// less. Flicker FM starts at rest: run in, its wander outgrows the record.
std::vector<double> NoiseRecord(int alpha, std::size_t n, std::mt19937_64& rng) {
  if (alpha == 1) return KasdinPhase(alpha, n, rng, 16 * n);
  if (alpha == 2 || alpha == -1) return KasdinPhase(alpha, n, rng);
  std::normal_distribution<double> g(0.0, 1e-9);
  std::vector<double> x(n);
  double y = 0.0, p = 0.0;
  for (double& v : x) {
    y += alpha == -2 ? g(rng) : 0.0;
    p += alpha == 0 ? g(rng) : y;
    v = p;
  }
  return x;
}

struct Cell {
  double variance = 0.0;  // summed over records
  int records = 0;        // with a value
  int identified = 0;     // with the right type and an interval
  int covered = 0;
  int noInterval = 0;
  int coveredAll = 0;             // over every record with an interval
  std::vector<double> low, high;  // of the records identified right
  std::vector<double> lowAll, highAll;
};

// One table per noise and record length: cells[measure][octave].
std::vector<std::vector<Cell>> CoverageRun(int alpha, std::size_t n, int records, std::uint64_t seed) {
  std::vector<std::vector<Cell>> cells(std::size(kMeasures));
  std::mt19937_64 rng(seed);
  for (int r = 0; r < records; ++r) {
    const auto x = NoiseRecord(alpha, n, rng);
    ConfidenceIntervals run(x);
    for (std::size_t i = 0; i < std::size(kMeasures); ++i) {
      const auto points = AllMeasurePoints(kMeasures[i], x);
      if (cells[i].size() < points.size()) cells[i].resize(points.size());
      for (std::size_t k = 0; k < points.size(); ++k) {
        Cell& c = cells[i][k];
        const StabilityInterval ci = run.Of(kMeasures[i], points[k]);
        c.variance += points[k].value * points[k].value;
        ++c.records;
        if (!ci.Valid()) {
          ++c.noInterval;
          continue;
        }
        c.lowAll.push_back(ci.low);
        c.highAll.push_back(ci.high);
        if (ci.alpha != alpha) continue;
        ++c.identified;
        // The truth is known only once every record is in.
        c.low.push_back(ci.low);
        c.high.push_back(ci.high);
      }
    }
  }
  for (auto& measure : cells)
    for (Cell& c : measure) {
      const double truth = std::sqrt(c.variance / c.records);
      for (std::size_t j = 0; j < c.low.size(); ++j) c.covered += c.low[j] <= truth && truth <= c.high[j];
      for (std::size_t j = 0; j < c.lowAll.size(); ++j) c.coveredAll += c.lowAll[j] <= truth && truth <= c.highAll[j];
    }
  return cells;
}

int RecordsPerRun() {
  const char* env = std::getenv("VARNEX_COVERAGE_RECORDS");
  const int records = env ? std::atoi(env) : 0;
  return records > 0 ? records : 120;
}

// Coverage between 55 % and 80 % at every tau where at least 30 records were
// identified right, allowing the binomial scatter of the run (four standard
// deviations of a 68 % rate).
TEST(Coverage, IntervalsCoverTheTrueDeviationAtEveryTau) {
  const int records = RecordsPerRun();
  const int noises[] = {2, 1, 0, -1, -2};
  const std::size_t lengths[] = {1000, 8640};
  for (std::size_t n : lengths) {
    // The long records cost most; the small run takes fewer of them.
    const int count = n > 1000 && records <= 120 ? records / 4 : records;
    for (int alpha : noises) {
      const auto cells = CoverageRun(alpha, n, count, 1000 + n + static_cast<std::uint64_t>(alpha + 2));
      for (std::size_t i = 0; i < std::size(kMeasures); ++i) {
        std::string line;
        for (std::size_t k = 0; k < cells[i].size(); ++k) {
          const Cell& c = cells[i][k];
          const double rate = c.identified ? static_cast<double>(c.covered) / c.identified : 0.0;
          const double all = c.lowAll.empty() ? 0.0 : static_cast<double>(c.coveredAll) / c.lowAll.size();
          char text[64];
          std::snprintf(text, sizeof text, " %3.0f/%3.0f/%3.0f", 100.0 * rate, 100.0 * c.identified / c.records,
                        100.0 * all);
          line += text;
          if (c.identified < 30) continue;
          const double scatter = 4.0 * std::sqrt(0.68 * 0.32 / c.identified);
          EXPECT_GE(rate, 0.55 - scatter)
              << NoiseName(alpha) << " n " << n << " " << MeasureInfoOf(kMeasures[i]).shortName << " octave " << k;
          EXPECT_LE(rate, 0.80 + scatter)
              << NoiseName(alpha) << " n " << n << " " << MeasureInfoOf(kMeasures[i]).shortName << " octave " << k;
        }
        std::printf(
            "[ coverage ] %-15s n %4zu %-6s (%% covered if right / %% right / %% covered, m = 1, 2, 4 ...):%s\n",
            std::string(NoiseName(alpha)).c_str(), n, std::string(MeasureInfoOf(kMeasures[i]).shortName).c_str(),
            line.c_str());
      }
    }
  }
}

}  // namespace
