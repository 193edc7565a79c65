// Cost of the confidence intervals on ten days (M = 86 400) of 10 s PPS TI
// samples: alone for every point of the measures that carry them, and as a
// share of a full run of the nine measures.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "BenchPhase.h"
#include "analysis/ConfidenceInterval.h"
#include "analysis/Stability.h"

namespace {

// The intervals of every point of every measure that has them, in one run.
void TimeIntervalsOfAllPoints(benchmark::State& state, const std::vector<double>& x) {
  std::vector<std::pair<StabilityMeasure, std::vector<StabilityPoint>>> series;
  for (const MeasureInfo& info : kMeasureCatalogue)
    if (HasConfidenceInterval(info.measure)) series.emplace_back(info.measure, AllMeasurePoints(info.measure, x));
  std::size_t valid = 0;
  for (auto _ : state) {
    valid = 0;
    ConfidenceIntervals run(x);
    for (const auto& [measure, points] : series)
      for (const StabilityPoint& p : points) valid += run.Of(measure, p).Valid();
    benchmark::DoNotOptimize(valid);
  }
  state.counters["intervals"] = static_cast<double>(valid);
}

void BM_IntervalsOfAllPoints(benchmark::State& state) {
  const auto x = MakePhase(static_cast<std::size_t>(state.range(0)));
  TimeIntervalsOfAllPoints(state, x);
}
BENCHMARK(BM_IntervalsOfAllPoints)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ten days of one power-law noise (Arg: alpha), so every branch of the noise
// identification and of the degrees of freedom is timed, the total
// deviation's at phase noise among them. Flicker PM comes from Kasdin's
// filter cut at 4096 taps.
std::vector<double> PureNoise(int alpha, std::size_t n) {
  std::mt19937_64 rng(99);
  std::normal_distribution<double> g(0.0, 1e-9);
  std::vector<double> w(n + 4095);
  for (double& v : w) v = g(rng);
  std::vector<double> x(n);
  if (alpha == 1) {
    std::vector<double> h(4096);
    h[0] = 1.0;
    for (std::size_t k = 1; k < h.size(); ++k) h[k] = h[k - 1] * (static_cast<double>(k) - 0.5) / k;
    for (std::size_t i = 0; i < n; ++i) {
      double sum = 0.0;
      for (std::size_t k = 0; k < h.size(); ++k) sum += h[k] * w[i + 4095 - k];
      x[i] = sum;
    }
    return x;
  }
  double y = 0.0, p = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    if (alpha == 2) {
      x[i] = w[i];
      continue;
    }
    y += alpha == -2 ? w[i] : 0.0;
    p += alpha == 0 ? w[i] : y;
    x[i] = p;
  }
  return x;
}

void BM_IntervalsOfPureNoise(benchmark::State& state) {
  const auto x = PureNoise(static_cast<int>(state.range(0)), 86400);
  TimeIntervalsOfAllPoints(state, x);
}
BENCHMARK(BM_IntervalsOfPureNoise)->Arg(2)->Arg(1)->Arg(0)->Arg(-2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A full run, each point with its interval where the measure has one
// (Arg 1) or without (Arg 0).
void BM_FullRun(benchmark::State& state) {
  const auto x = MakePhase(86400);
  const bool intervals = state.range(0) != 0;
  for (auto _ : state) {
    std::size_t points = 0;
    ConfidenceIntervals run(x);
    for (const MeasureInfo& info : kMeasureCatalogue) {
      MeasurePoints source(info.measure, x);
      StabilityPoint p;
      while (source.Next(p)) {
        if (intervals) benchmark::DoNotOptimize(run.Of(info.measure, p));
        ++points;
      }
    }
    benchmark::DoNotOptimize(points);
  }
  state.SetLabel(intervals ? "with intervals" : "measures only");
}
BENCHMARK(BM_FullRun)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
