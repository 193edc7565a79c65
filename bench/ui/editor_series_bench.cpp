// The main chart with ten days of PPS TI (86 400 points) and a 60-point moving
// average added in the chart editor: adding it (computed and copied into the
// chart's plotted data), and each new point reaching both plotted series.
// Drawing is left out; the chart benchmarks measure it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <random>

#include "charting/ChartSeries.h"
#include "charting/ui/TimeChart.h"

namespace {

constexpr int kTenDays = 86400;
constexpr double kStep = 10.0 / 86400.0;

QApplication& App() {
  static int argc = 1;
  static char name[] = "editor_series_bench";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: tearing Qt down after main() has returned crashes.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

void FillTenDays(ChartSeries& pps) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 1e-9);
  for (int i = 0; i < kTenDays; ++i) {
    const double t = 46000.0 + i * kStep;
    const double y = std::sin(i / 3000.0) * 1e-9 + noise(rng);
    i % 20000 == 0 ? pps.AddNull(t, y) : pps.Add(t, y);
  }
}

void BM_ChartAddsMovingAverage(benchmark::State& state) {
  App();
  ChartSeries pps("PPS TI");
  FillTenDays(pps);
  TTimeChart chart;
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.Sync();
  for (auto _ : state) {
    const int index = chart.AddUserSeries({SeriesSourceKind::MovingAverage, chart.SeriesId(0), 60});
    chart.Sync();
    benchmark::DoNotOptimize(chart.PlottedCount(index));
    state.PauseTiming();
    chart.DeleteSeries(index);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ChartAddsMovingAverage)->Unit(benchmark::kMillisecond);

void BM_ChartNewPointWithMovingAverage(benchmark::State& state) {
  App();
  ChartSeries pps("PPS TI");
  FillTenDays(pps);
  TTimeChart chart;
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  const int index = chart.AddUserSeries({SeriesSourceKind::MovingAverage, chart.SeriesId(0), 60});
  chart.Sync();
  double t = pps.Last().x;
  int i = 0;
  for (auto _ : state) {
    t += kStep;
    pps.Add(t, std::sin(++i / 3000.0) * 1e-9);
    pps.DeleteFirst();
    chart.Sync();
    benchmark::DoNotOptimize(chart.PlottedCount(index));
  }
}
BENCHMARK(BM_ChartNewPointWithMovingAverage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
