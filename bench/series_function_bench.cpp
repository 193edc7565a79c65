// A 60-point moving average following ten days of PPS TI (86 400 points, one
// every 10 s): what adding it costs, and what each new point costs once the
// span is full (one point in at the end, the oldest out at the front).
#include <benchmark/benchmark.h>

#include "BenchPhase.h"
#include "charting/SeriesRoster.h"

namespace {

constexpr std::size_t kTenDays = 86400;
constexpr double kStep = 10.0 / 86400.0;

// Ten days of PPS TI with a null point at the start and after each of a few gaps.
void FillTenDays(ChartSeries& pps) {
  const std::vector<double> phase = MakePhase(kTenDays);
  for (std::size_t i = 0; i < kTenDays; ++i) {
    const double t = 46000.0 + static_cast<double>(i) * kStep;
    i % 20000 == 0 ? pps.AddNull(t, phase[i]) : pps.Add(t, phase[i]);
  }
}

void BM_AddMovingAverageOverTenDays(benchmark::State& state) {
  ChartSeries pps("PPS TI");
  FillTenDays(pps);
  for (auto _ : state) {
    SeriesRoster roster;
    roster.AddProgram(&pps);
    const int index = roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(0), 60});
    benchmark::DoNotOptimize(roster.Points(index)->Count());
  }
}
BENCHMARK(BM_AddMovingAverageOverTenDays)->Unit(benchmark::kMillisecond);

void BM_NewPointReachesTheMovingAverage(benchmark::State& state) {
  ChartSeries pps("PPS TI");
  FillTenDays(pps);
  SeriesRoster roster;
  roster.AddProgram(&pps);
  const int index = roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(0), 60});
  double t = pps.Last().x;
  std::size_t i = 0;
  const std::vector<double> phase = MakePhase(1000);
  for (auto _ : state) {
    t += kStep;
    pps.Add(t, phase[i++ % phase.size()]);
    pps.DeleteFirst();
    roster.Update();
    benchmark::DoNotOptimize(roster.Points(index)->Last().y);
  }
  state.counters["points"] = static_cast<double>(roster.Points(index)->Count());
}
BENCHMARK(BM_NewPointReachesTheMovingAverage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
