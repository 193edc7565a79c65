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

void BM_IntervalsOfAllPoints(benchmark::State& state) {
  const auto x = MakePhase(static_cast<std::size_t>(state.range(0)));
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
BENCHMARK(BM_IntervalsOfAllPoints)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime();

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
