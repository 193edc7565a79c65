// Speed of the stability measures on a day (M = 8 640) and on ten days
// (M = 86 400) of 10 s PPS TI samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "BenchPhase.h"
#include "analysis/Stability.h"

namespace {

void BM_AllNineMeasures(benchmark::State& state) {
  const auto x = MakePhase(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::size_t points = 0;
    for (const MeasureInfo& info : kMeasureCatalogue) {
      MeasurePoints source(info.measure, x);
      StabilityPoint p;
      while (source.Next(p)) {
        benchmark::DoNotOptimize(p);
        ++points;
      }
    }
    benchmark::DoNotOptimize(points);
  }
}
BENCHMARK(BM_AllNineMeasures)->Arg(8640)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OneMeasure(benchmark::State& state) {
  const auto x = MakePhase(static_cast<std::size_t>(state.range(1)));
  const auto measure = static_cast<StabilityMeasure>(state.range(0));
  state.SetLabel(std::string(MeasureInfoOf(measure).shortName));
  for (auto _ : state) benchmark::DoNotOptimize(AllMeasurePoints(measure, x));
}
BENCHMARK(BM_OneMeasure)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 8, 1), {86400}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
