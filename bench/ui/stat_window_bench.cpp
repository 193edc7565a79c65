// The time stability window's whole run (all nine measures with their
// intervals, into the chart) on ten days of 10 s PPS TI (M = 86 400) and on
// 10^6 samples, headless. Counters: the longest the window's thread went
// without running its events during the run, and how long a new start made
// while the last Theo1 point is computed waits before the new run begins.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "analysis/ui/StatChart.h"
#include "analysis/ui/StatUnit.h"
#include "app/ui/VarnexContext.h"
#include "charting/ChartSeries.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "stat_window_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

void FillPpsTi(ChartSeries& s, std::int64_t count) {
  std::mt19937_64 rng(1);
  std::normal_distribution<double> noise(0.0, 1.0);
  double walk = 0.0;
  const TDateTime start = 41487.0;
  for (std::int64_t i = 0; i < count; ++i) {
    walk += 0.02e-9 * noise(rng);
    s.Add(start + static_cast<double>(i) * 10.0 * OneSecond, 3e-9 * noise(rng) + walk);
  }
}

struct Window {
  Window()
      : folder((std::filesystem::temp_directory_path() / "varnex-stat-window-bench").string()),
        clock(41487.0),
        context(state, clock, folder) {
    std::filesystem::create_directories(folder);
  }
  std::string folder;
  SharedReceiverState state;
  VirtualClock clock;
  VarnexContext context;
};

// The longest gap between two ticks of a 1 ms timer on the window's thread.
class HoldWatch {
 public:
  HoldWatch() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, since_.restart()); });
    timer_.start(1);
    since_.start();
  }
  double LongestMs() const { return static_cast<double>(longest_); }

 private:
  QTimer timer_;
  QElapsedTimer since_;
  qint64 longest_ = 0;
};

void BM_StatWindowRun(benchmark::State& state) {
  App();
  Window w;
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, state.range(0) + 1);
  TStatForm form(w.context);
  double held = 0.0;
  for (auto _ : state) {
    HoldWatch watch;
    form.TimeStabClick(pps);
    held = std::max(held, watch.LongestMs());
  }
  state.counters["ui_held_ms"] = held;
  state.counters["points"] = static_cast<double>(form.StatChart()->Values(6).size());
}
BENCHMARK(BM_StatWindowRun)->Arg(86400)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_StatWindowRun)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A new start while the last Theo1 point is computed: the time from that
// start to the moment the first run has handed over (its series gone).
void BM_StatWindowStopInLastTheo1Point(benchmark::State& state) {
  App();
  Window w;
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, state.range(0) + 1);
  std::size_t theo1Points = 0;
  for (std::int64_t m = 10; m < state.range(0); m *= 2) ++theo1Points;
  const int theo1 = 6;
  TStatForm form(w.context);
  double stopMs = 0.0;
  for (auto _ : state) {
    QElapsedTimer sinceStop;
    bool asked = false;
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      TStatChart* chart = form.StatChart();
      if (!asked && chart->SeriesCount() > theo1 && chart->Values(theo1).size() + 1 == theo1Points) {
        asked = true;
        sinceStop.start();
        form.TimeStabClick(pps);  // the run in progress starts over
      } else if (asked && !seen && chart->SeriesCount() <= theo1) {
        seen = true;
        stopMs = static_cast<double>(sinceStop.elapsed());
      }
    });
    poll.start(1);
    form.TimeStabClick(pps);
    if (!seen) state.SkipWithError("the run did not start over in its last Theo1 point");
  }
  state.counters["stop_ms"] = stopMs;
}
BENCHMARK(BM_StatWindowStopInLastTheo1Point)
    ->Arg(86400)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
