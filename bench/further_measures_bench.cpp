// The further measures over whole records, octave lists, with intervals.
#include <benchmark/benchmark.h>

#include "BenchPhase.h"
#include "analysis/FurtherMeasures.h"

namespace {

void RunMeasure(benchmark::State& state, FurtherMeasure measure) {
  const std::vector<double> x = MakePhase(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const FurtherSeries series = ComputeFurtherMeasure(measure, x, 1.0, TauList::Octave, true);
    benchmark::DoNotOptimize(series.points.data());
  }
}

void BM_Tdev(benchmark::State& state) { RunMeasure(state, FurtherMeasure::Time); }
void BM_Mtotdev(benchmark::State& state) { RunMeasure(state, FurtherMeasure::ModifiedTotal); }
void BM_Ttotdev(benchmark::State& state) { RunMeasure(state, FurtherMeasure::TimeTotal); }
void BM_Htotdev(benchmark::State& state) { RunMeasure(state, FurtherMeasure::HadamardTotal); }
void BM_Theobr(benchmark::State& state) { RunMeasure(state, FurtherMeasure::TheoBr); }
void BM_Theoh(benchmark::State& state) { RunMeasure(state, FurtherMeasure::TheoH); }

// One day at 1 s; a million samples for the two total deviations.
BENCHMARK(BM_Tdev)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Mtotdev)->Arg(86400)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Ttotdev)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Htotdev)->Arg(86400)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
// The Theo family over the longest record it takes, and past it (left out).
BENCHMARK(BM_Theobr)->Arg(kTheoMaxSamples)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Theoh)->Arg(kTheoMaxSamples)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
BENCHMARK_MAIN();
