// Data files that a wrong clock or a crash left behind, loaded and then fed live.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "charting/ChartSeries.h"
#include "frontend/ChartReload.h"
#include "frontend/DataFile.h"
#include "frontend/PersistTestFiles.h"
#include "frontend/RefreshCycle.h"
#include "frontend/RefreshRules.h"
#include "frontend/Settings.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

struct Values {
  double pps, efc, hup, sats;
};

struct TimeOrder : ::testing::Test {
  TimeOrder() : clock(EncodeDateTime({2013, 8, 1, 12, 0, 5, 0})) {
    source.Folder = dir.Path();
    source.clock = &clock;
    source.SpanMinutes = 1440;
  }
  TDateTime Now() { return clock.UtcNow(); }
  // A line stamped `seconds` from now with values made from its serial, remembered
  // so that every charted value can be checked against the line it came from.
  std::string Line(double seconds, int serial) {
    const TDateTime t = Now() + seconds * OneSecond;
    const Values v{-1e-9 * serial, 32768.25 + serial, 1e-6 * serial, 4.0 + serial};
    truth[serial] = v;
    times[serial] = t;
    return FormatDataLine({t, v.pps, v.efc, v.hup, v.sats});
  }
  // Every charted value belongs to one line at that time.
  void ExpectTrue(const ChartSeries& s, double Values::*field) {
    for (std::size_t i = 0; i < s.Count(); ++i) {
      bool found = false;
      for (const auto& [serial, v] : truth)
        if (std::fabs(times[serial] - s.X(i)) < 1e-9 && std::fabs(v.*field - s.Y(i)) <= 1e-14 * std::fabs(v.*field))
          found = true;
      EXPECT_TRUE(found) << s.Title() << " point " << i << " y " << s.Y(i);
    }
  }
  static void ExpectOrdered(const ChartSeries& s) {
    for (std::size_t i = 1; i < s.Count(); ++i) EXPECT_LE(s.X(i - 1), s.X(i)) << s.Title() << " point " << i;
  }

  TempFolder dir;
  VirtualClock clock;
  HistorySource source;
  std::map<int, Values> truth;
  std::map<int, TDateTime> times;
  ChartSeries pps{"PPS TI"}, efc{"EFC"}, hud{"HUD"}, sats{"Sats"};
};

// Field k (1 to 5) of a data line starts at 23 * (k - 1).
std::string CutInside(const std::string& line, int field, int offset) {
  return line.substr(0, 23 * (field - 1) + offset);
}

TEST_F(TimeOrder, WrongClocksAndCutLinesNeverChartAWrongValueOrStopTheLivePoints) {
  std::string text;
  text += Line(-300, 1) + "\r\n";
  text += Line(-290, 2) + "\r\n";
  text += Line(7200, 3) + "\r\n";  // a clock once two hours ahead
  text += Line(-280, 4) + "\r\n";
  text += Line(-7200, 5) + "\r\n";  // a clock once two hours back
  text += Line(-270, 6) + "\r\n";
  // Lines cut by a crash inside each field, early and late in it; the next append
  // ended each with a line end. The serials say which loader may chart them.
  int serial = 100;
  std::map<int, std::pair<bool, bool>> cutCharted;  // serial: chart loader, holdover loader
  for (int field = 1; field <= 5; ++field) {
    for (int offset : {3, 19, 21}) {
      const double at = -260 + (serial - 100) * 10;
      text += CutInside(Line(at, serial), field, offset) + "\r\n";
      cutCharted[serial] = {field >= 4, false};
      ++serial;
    }
  }
  text += Line(-100, 200);  // the last line, whole but without its line end
  const std::string name = DataFileName(Now());
  WriteFileBytes(dir.File(name), text);

  LoadChartHistory(source, pps, efc);
  LoadHoldoverHistory(source, hud, sats);
  EXPECT_EQ(ReadFileBytes(dir.File(name)), text);

  for (ChartSeries* s : {&pps, &efc, &hud, &sats}) ExpectOrdered(*s);
  ExpectTrue(pps, &Values::pps);
  ExpectTrue(efc, &Values::efc);
  ExpectTrue(hud, &Values::hup);
  ExpectTrue(sats, &Values::sats);
  const auto charted = [](const ChartSeries& s, TDateTime t) {
    for (std::size_t i = 0; i < s.Count(); ++i)
      if (std::fabs(s.X(i) - t) < 1e-9) return true;
    return false;
  };
  // The line two hours back sits at its place; the one ahead stays out; whole lines load.
  EXPECT_DOUBLE_EQ(pps.X(0), times[5]);
  EXPECT_FALSE(charted(pps, times[3]));
  for (int whole : {1, 2, 4, 5, 6, 200})
    for (ChartSeries* s : {&pps, &efc, &hud, &sats}) EXPECT_TRUE(charted(*s, times[whole])) << whole;
  for (const auto& [cut, loads] : cutCharted) {
    EXPECT_EQ(charted(pps, times[cut]), loads.first) << "cut line " << cut;
    EXPECT_EQ(charted(efc, times[cut]), loads.first) << "cut line " << cut;
    EXPECT_EQ(charted(hud, times[cut]), loads.second) << "cut line " << cut;
    EXPECT_EQ(charted(sats, times[cut]), loads.second) << "cut line " << cut;
  }

  // Live screens follow at once and are charted in their place.
  SharedReceiverState state;
  VarnexSettings settings;
  QuietRefreshView view;
  RefreshCycle cycle(state, clock, settings, view, {&pps, &efc, &hud, &sats});
  for (int round = 0; round < 3; ++round) {
    const TDateTime t = Now() + (5 + 10 * round) * OneSecond;
    state.BeginCycle(t);
    state.Publish(ReceiverValue::PpsTi, "7E-09");
    state.Publish(ReceiverValue::Efc, "32768");
    state.Publish(ReceiverValue::Hup, "7E-07");
    state.Publish(ReceiverValue::Tracked, "7");
    state.ReplaceStatusLines({"screen"});
    cycle.Tick();
    for (ChartSeries* s : {&pps, &efc, &hud, &sats}) {
      ExpectOrdered(*s);
      EXPECT_DOUBLE_EQ(s->Last().x, t) << s->Title();
    }
  }
}

TEST(ChartGap, LiveAndLoadedStampsBreakTheLineAlike) {
  // Steps between stamps, in milliseconds, and whether each starts a new stretch.
  const std::vector<std::pair<long, bool>> steps = {{10000, false}, {15000, false}, {15000, false},
                                                    {15001, true},  {14999, false}, {16000, true},
                                                    {-20000, true}, {10000, false}, {-15000, false}};
  TempFolder dir;
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0}));
  std::vector<TDateTime> stamps;
  TDateTime t = clock.UtcNow() - 600 * OneSecond;
  stamps.push_back(t);
  for (const auto& [ms, gap] : steps) stamps.push_back(t += ms / 86400000.0);
  std::string text;
  for (TDateTime s : stamps) text += FormatDataLine({s, 1e-9, 32768, 1e-6, 8}) + "\r\n";
  WriteFileBytes(dir.File(DataFileName(clock.UtcNow())), text);
  ChartSeries loadedPps, loadedEfc;
  HistorySource source{dir.Path(), &clock, 1440, {}};
  LoadWeekFiles(source, ChartFields, loadedPps, loadedEfc);

  SharedReceiverState state;
  VarnexSettings settings;
  QuietRefreshView view;
  ChartSeries livePps, liveEfc;
  RefreshCycle cycle(state, clock, settings, view, {&livePps, &liveEfc});
  // Each live screen is stamped as the line the file read back.
  std::vector<TDateTime> read;
  for (std::size_t i = 0; i + 1 < loadedPps.Count(); ++i) read.push_back(loadedPps.X(i));
  ASSERT_EQ(read.size(), stamps.size());
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    state.BeginCycle(stamps[i]);
    state.Publish(ReceiverValue::PpsTi, "1E-9");
    state.Publish(ReceiverValue::Efc, "32768");
    state.ReplaceStatusLines({"screen"});
    cycle.Tick();
  }
  // In file order, the gap flags of both paths agree with the table.
  std::vector<bool> expected = {true};
  for (const auto& step : steps) expected.push_back(step.second);
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    EXPECT_EQ(IsChartGap(i == 0 ? 0.0 : stamps[i - 1], stamps[i]), expected[i]) << i;
    for (const ChartSeries* s : {&loadedPps, &livePps}) {
      bool found = false;
      for (std::size_t k = 0; k < s->Count(); ++k)
        if (std::fabs(s->X(k) - stamps[i]) < 2e-9) {
          EXPECT_EQ(s->IsNull(k), expected[i]) << (s == &livePps ? "live " : "loaded ") << i;
          found = true;
          break;
        }
      EXPECT_TRUE(found) << i;
    }
  }
}

TEST(ChartReload, AReloadAskedForDuringOneRunsAfterItAndNothingIsDoubled) {
  TempFolder dir;
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0}));
  const TDateTime now = clock.UtcNow();
  std::string text;
  const int lines = 3500;  // the loader lets events run at every 1000th line
  for (int i = lines; i >= 1; --i)
    text += FormatDataLine({now - i * 10 * OneSecond, 1e-9 * i, static_cast<double>(i), 1e-6, 8}) + "\r\n";
  WriteFileBytes(dir.File(DataFileName(now)), text);

  ChartReloadGate gate;
  ChartSeries pps, efc;
  int span = 600;  // minutes; the second "Ok" raises it to the whole file
  int runs = 0, eventRuns = 0;
  std::function<void()> reload;
  reload = [&] {
    ++runs;
    pps.Clear();
    efc.Clear();
    const HistorySource source{dir.Path(), &clock, span, [&] {
                                 // The dialog is confirmed again while the first reload runs.
                                 if (++eventRuns == 1) {
                                   span = 1440;
                                   gate.Run(reload);
                                   EXPECT_TRUE(gate.Running());
                                 }
                               }};
    LoadChartHistory(source, pps, efc);
  };
  gate.Run(reload);
  EXPECT_FALSE(gate.Running());
  EXPECT_EQ(runs, 2);
  ASSERT_EQ(pps.Count(), static_cast<std::size_t>(lines) + 1);  // and the closing null point
  for (std::size_t i = 1; i < pps.Count() - 1; ++i) ASSERT_LT(pps.X(i - 1), pps.X(i)) << i;
  EXPECT_EQ(efc.Count(), pps.Count());
}

}  // namespace
