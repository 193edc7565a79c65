// Speed of the stability measures on a day (M = 8 640) and on ten days
// (M = 86 400) of 10 s PPS TI samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/Stability.h"

namespace {

// Random-walk phase with white noise on top, roughly what a GPS-disciplined
// oscillator's PPS TI looks like.
std::vector<double> MakePhase(std::size_t n) {
  std::mt19937_64 rng(12345);
  std::normal_distribution<double> noise(0.0, 1e-9);
  std::vector<double> x(n);
  double walk = 0.0;
  for (double& v : x) {
    walk += 0.1 * noise(rng);
    v = walk + noise(rng);
  }
  return x;
}

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
