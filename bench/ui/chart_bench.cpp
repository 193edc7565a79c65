// Speed of the main chart with ten days of data (86 400 points per series).
#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <QApplication>
#include <cmath>
#include <memory>
#include <random>

#include "charting/ChartSeries.h"
#include "charting/ui/TimeChart.h"

namespace {

constexpr int kPoints = 86400;

QApplication& App() {
  static int argc = 1;
  static char name[] = "chart_bench";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: tearing Qt down after main() has returned crashes.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

void Fill(ChartSeries& s, double base, double scale, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (int i = 0; i < kPoints; ++i) {
    double t = 46000.0 + i * 10.0 / 86400.0;
    double v = base + scale * (std::sin(i / 3000.0) + 0.1 * noise(rng));
    if (i % 5000 == 0)
      s.AddNull(t, v);
    else
      s.Add(t, v);
  }
}

struct MainChart {
  ChartSeries pps{"PPS TI"}, efc{"EFC"};
  std::unique_ptr<TTimeChart> chart = std::make_unique<TTimeChart>();
  MainChart() {
    Fill(pps, 0.0, 1e-9, 1);
    Fill(efc, 41230, 15, 2);
    chart->resize(841, 447);
    chart->SetTitle("PPS TI & EFC");
    chart->AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
    chart->AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
    chart->SetAxisTitle(AxisSide::Left, "PPS TI / s", Qt::blue);
    chart->SetAxisTitle(AxisSide::Right, "EFC value", Qt::red);
    chart->SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
    chart->SetAxisNumberFormat(AxisSide::Right, "0");
    chart->show();
    chart->Replot();
  }
};

// Rescale and redraw the whole main chart offscreen at its design size.
void BM_ReplotMainChart(benchmark::State& state) {
  App();
  MainChart m;
  for (auto _ : state) m.chart->Replot();
  state.counters["points"] = 2.0 * kPoints;
}
BENCHMARK(BM_ReplotMainChart)->Unit(benchmark::kMillisecond);

// What one status screen costs the charts: one point appended to each of four
// series of 86 400 points, the oldest trimmed, and the plotted copies synced.
void BM_SyncAppendTrimFourSeries(benchmark::State& state) {
  App();
  MainChart main, holdover;
  ChartSeries* series[] = {&main.pps, &main.efc, &holdover.pps, &holdover.efc};
  double t = 46000.0 + kPoints * 10.0 / 86400.0;
  for (auto _ : state) {
    for (ChartSeries* s : series) {
      s->Add(t, 1.0);
      s->DeleteFirst();
    }
    main.chart->Sync();
    holdover.chart->Sync();
    t += 10.0 / 86400.0;
  }
}
BENCHMARK(BM_SyncAppendTrimFourSeries)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
