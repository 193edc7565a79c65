// One refresh tick with a status screen, against four series holding ten days
// of points: it appends a point to each and trims the oldest one.
#include <benchmark/benchmark.h>

#include "charting/ChartSeries.h"
#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

class NullView : public RefreshView {
 public:
  void SetPanel(int, const std::string& text) override { benchmark::DoNotOptimize(text.data()); }
  void ShowStatusLines(const std::vector<std::string>& lines) override { benchmark::DoNotOptimize(lines.data()); }
  void ShowSatellites(const SatelliteDisplay& d) override { benchmark::DoNotOptimize(d.Sky.data()); }
  void UpdateHorizonLine() override {}
  void SetRightAxisDecimals() override {}
  void SetClockMenuEnabled(bool) override {}
  void ShowDateTime(TDateTime) override {}
  void ChartsChanged() override {}
};

const std::vector<std::string> Screen = {
    "---------------------------- Receiver Status ----------------------------",
    "SYNCHRONIZATION ............................................. [ Outputs Valid ]",
    "SmartClock Mode ___________________________   Reference Outputs _______________",
    ">> Locked to GPS                              TFOM     3             FFOM     0",
    "Tracking: 6 ____   Not Tracking: 5 ________   Time _____________________________",
    "PRN  El  Az  C/N   PRN  El  Az                UTC      12:34:56     01 Aug 2013",
    "   2  65 267   49    7  12 301                1PPS CLK Synchronized to UTC",
    "  14  30  88   45   19  40 122                ANT DLY  0 ns",
    "   5  22 145   41   21   8  35                Position (MEAS)",
    "  16  48 201   47                             LAT  N  47:10:11.321",
    "  25  12  12   38                             LON  E   8:30:12.555",
    "  29  70  61   50                             HGT          +455.21 m",
    "HEALTH MONITOR ......................................................... [ OK ]"};

// One poll cycle's answers and its status screen.
void PublishCycle(SharedReceiverState& state) {
    state.Publish(ReceiverValue::PpsTi, "-1.234E-09");
    state.Publish(ReceiverValue::Efc, "32768.25");
    state.Publish(ReceiverValue::Hup, "+2.0E-06,+1.0E-06");
    state.Publish(ReceiverValue::Tracked, "6");
    state.ClearStatusLines();
    for (const auto& l : Screen) state.AppendStatusLine(l);
    state.FinishStatusLines();
}

// Ten days of points, one per 10 s, in all four series, and the cycle that feeds them.
struct TenDayRig {
  static constexpr int Points = 86400;
  TenDayRig() {
    settings.SpanMinutes = 14400;  // ten days at one point per 10 s
    for (int i = 0; i < Points; ++i) {
      const TDateTime t = start + i * step;
      pps.Add(t, 1e-9);
      efc.Add(t, 32768.25);
      hud.Add(t, 2e-6);
      sats.Add(t, 8);
    }
  }
  SharedReceiverState state;
  VirtualClock clock{EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})};
  VarnexSettings settings;
  NullView view;
  ChartSeries pps, efc, hud, sats;
  const TDateTime start = EncodeDateTime({2013, 7, 22, 12, 0, 0, 0});
  const double step = 10 * OneSecond;
  RefreshCycle cycle{state, clock, settings, view, {&pps, &efc, &hud, &sats}};
};

void BM_RefreshTickWithStatusScreen(benchmark::State& bench) {
  TenDayRig rig;
  constexpr int Points = TenDayRig::Points;
  auto& [state, clock, settings, view, pps, efc, hud, sats, start, step, cycle] = rig;
  TDateTime t = start + (Points - 1) * step;
  cycle.LastPointTime = t;
  for (auto _ : bench) {
    t += step;
    state.CycleTime = t;
    state.BeginCycle(t);
    PublishCycle(state);
    cycle.Tick();
    state.DrainTrace();
  }
  // Ten days inclusive of both ends hold one point more than the ones loaded.
  for (const ChartSeries* s : {&pps, &efc, &hud, &sats})
    if (s->Count() < Points || s->Count() > Points + 1) bench.SkipWithError("a series did not keep its size");
}
BENCHMARK(BM_RefreshTickWithStatusScreen)->Unit(benchmark::kMicrosecond);

// The same after the computer's clock was set back five days: every point goes to
// its place in the middle of the ten days.
void BM_RefreshTickClockSetBack(benchmark::State& bench) {
  TenDayRig rig;
  constexpr int Points = TenDayRig::Points;
  auto& [state, clock, settings, view, pps, efc, hud, sats, start, step, cycle] = rig;
  TDateTime t = start + (Points / 2) * step + step / 2;
  cycle.LastPointTime = t;
  for (auto _ : bench) {
    t += step;
    state.BeginCycle(t);
    PublishCycle(state);
    cycle.Tick();
    state.DrainTrace();
  }
  for (std::size_t i = 1; i < pps.Count(); ++i)
    if (pps.X(i) < pps.X(i - 1)) {
      bench.SkipWithError("the series lost its time order");
      break;
    }
}
BENCHMARK(BM_RefreshTickClockSetBack)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
