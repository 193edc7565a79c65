// The main window with ten days of points (86 400 per series) at its design size,
// offscreen: a replot of the chart, and a whole refresh tick with a status screen
// (two points appended, two trimmed, chart replotted).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <memory>

#include "app/ui/VarnexContext.h"
#include "charting/ui/TimeChart.h"
#include "frontend/ui/MainUnit.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

constexpr int Points = 86400;
constexpr double Step = 10 * OneSecond;

struct Rig {
  Rig()
      : folder((std::filesystem::temp_directory_path() / "varnex_main_tick_bench").string()),
        clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})),
        context(state, clock, folder) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    main = std::make_unique<TMainForm>(context);
    // Only the tick feeds the state here.
    main->ComThread()->RequestStop();
    main->ComThread()->Join(3000);
    main->Timer1().stop();
    context.Settings.SpanMinutes = 14400;
    start = clock.UtcNow() - Points * Step;
    for (int i = 0; i < Points; ++i) {
      const TDateTime t = start + i * Step;
      const bool null = i % 8640 == 0;  // a gap once a day
      const double pps = 1e-9 * ((i % 97) - 48) / 48.0;
      const double efc = 32768.0 + (i % 1000) / 100.0;
      null ? main->Series1.AddNull(t, pps) : main->Series1.Add(t, pps);
      null ? main->Series2.AddNull(t, efc) : main->Series2.Add(t, efc);
    }
    main->resize(841, 447);
    main->show();
    main->Chart1()->Replot();
    QApplication::processEvents();
    last = start + (Points - 1) * Step;
    main->Refresh().LastPointTime = last;
  }
  ~Rig() {
    main.reset();
    std::filesystem::remove_all(folder);
  }

  std::string folder;
  SharedReceiverState state;
  VirtualClock clock;
  VarnexContext context;
  std::unique_ptr<TMainForm> main;
  TDateTime start = 0, last = 0;
};

void BM_MainChartReplot(benchmark::State& bench) {
  Rig rig;
  for (auto _ : bench) rig.main->Chart1()->Replot();
  bench.counters["points"] = static_cast<double>(rig.main->Series1.Count() + rig.main->Series2.Count());
}
BENCHMARK(BM_MainChartReplot)->Unit(benchmark::kMillisecond);

void BM_MainTickWithStatusScreen(benchmark::State& bench) {
  Rig rig;
  for (auto _ : bench) {
    rig.last += Step;
    rig.state.CycleTime = rig.last;
    rig.state.BeginCycle(rig.last);
    rig.state.Publish(ReceiverValue::PpsTi, "-1.234E-09");
    rig.state.Publish(ReceiverValue::Efc, "32768.25");
    rig.state.Publish(ReceiverValue::Hup, "+2.0E-06");
    rig.state.Publish(ReceiverValue::Tracked, "6");
    rig.state.ClearStatusLines();
    rig.state.AppendStatusLine("PRN  El  Az  C/N");
    rig.state.AppendStatusLine("   2  65 267   49");
    rig.state.FinishStatusLines();
    rig.main->Timer1Timer();
    rig.state.DrainTrace();
  }
  if (rig.main->Series1.Count() < Points) bench.SkipWithError("the chart lost points");
}
BENCHMARK(BM_MainTickWithStatusScreen)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
