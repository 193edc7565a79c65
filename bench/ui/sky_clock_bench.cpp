// Speed of the sky view's replot after a status screen, and of one clock second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>

#include "app/ui/VarnexContext.h"
#include "charting/ui/PolarChart.h"
#include "frontend/StatusScreen.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/ClockUnit.h"
#include "windows/ui/NixieDigits.h"
#include "windows/ui/PolarUnit.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "sky_clock_bench";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: tearing Qt down after main() has returned crashes.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

struct Context {
  SharedReceiverState state;
  VirtualClock clock{EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})};
  VarnexContext context{state, clock, "/tmp"};
};

// A full table of 24 satellites and a learned horizon with a jagged edge everywhere:
// the screen update, the line update and the chart's paint. `lowerEvery` is how many
// screens pass between two that teach the horizon something (1: every one, the worst case).
void SkyViewReplot(benchmark::State& st, int lowerEvery) {
  App();
  Context c;
  for (int az = 0; az < 360; ++az)
    c.context.Settings.HorizonTable[az] = static_cast<std::uint8_t>(8 + 6 * std::sin(az / 7.0) + (az % 3));
  TPolarForm form(c.context);
  form.resize(401, 389 + 25);
  TPolarChart* chart = form.Chart1();
  QImage target(chart->size(), QImage::Format_ARGB32_Premultiplied);
  SatelliteTable table;
  for (int i = 0; i < 24; ++i)
    table.Rows[static_cast<std::size_t>(i)] = {i + 1, 30 + i % 20, (i * 47) % 360, 20 + i * 3};
  table.Count = 24;
  int step = 0;
  for (auto _ : st) {
    for (int i = 0; i < 24; ++i) {
      SatelliteRow& r = table.Rows[static_cast<std::size_t>(i)];
      r.Azimuth = (r.Azimuth + 1) % 360;
    }
    if (++step % lowerEvery == 0) {
      // As when a satellite is seen lower than ever at that azimuth.
      std::uint8_t& entry = c.context.Settings.HorizonTable[static_cast<std::size_t>(step % 360)];
      entry = entry > 0 ? entry - 1 : 0;
    }
    form.SetSatellites(BuildSatelliteDisplay(table, c.context.Settings.HorizonTable).Sky);
    form.UpdateHorizonLine();
    chart->render(&target);  // the widget's own paint, as on screen
    benchmark::DoNotOptimize(target.constBits());
  }
}
void BM_SkyViewReplot(benchmark::State& st) { SkyViewReplot(st, 60); }
BENCHMARK(BM_SkyViewReplot)->Unit(benchmark::kMicrosecond);
void BM_SkyViewReplotHorizonMovesEachTime(benchmark::State& st) { SkyViewReplot(st, 1); }
BENCHMARK(BM_SkyViewReplotHorizonMovesEachTime)->Unit(benchmark::kMicrosecond);

// ShowDateTime draws twelve digits on the kept face; the paint copies it to the window.
void BM_ClockSecond(benchmark::State& st) {
  App();
  Context c;
  TClockForm form(c.context);
  QImage target(form.size(), QImage::Format_RGB32);
  TDateTime t = EncodeDateTime({2013, 8, 1, 14, 5, 9, 0});
  for (auto _ : st) {
    t += OneSecond;
    form.ShowDateTime(t);
    form.render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(BM_ClockSecond)->Unit(benchmark::kMicrosecond);

// Drawing the ten tube images, once at program start.
void BM_MakeNixieDigits(benchmark::State& st) {
  App();
  for (auto _ : st) benchmark::DoNotOptimize(MakeNixieDigits());
}
BENCHMARK(BM_MakeNixieDigits)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
