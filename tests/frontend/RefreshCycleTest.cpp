#include <gtest/gtest.h>

#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "charting/ChartSeries.h"
#include "frontend/RefreshCycle.h"
#include "frontend/Settings.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

class FakeView : public RefreshView {
 public:
  void SetPanel(int index, const std::string& text) override { panels[index] = text; }
  void ShowStatusLines(const std::vector<std::string>& l) override {
    if (throwOnLines) throw std::runtime_error("view");
    lines = l;
  }
  void ShowSatellites(const SatelliteDisplay& d) override { display = d; }
  void UpdateHorizonLine() override { ++horizonUpdates; }
  void SetRightAxisDecimals() override { ++axisSwitches; }
  void SetClockMenuEnabled(bool e) override { clockMenu = e; }
  void ShowDateTime(TDateTime t) override { shown.push_back(t); }
  void ChartsChanged() override { ++chartChanges; }

  std::map<int, std::string> panels;
  std::vector<std::string> lines;
  SatelliteDisplay display;
  int horizonUpdates = 0;
  int axisSwitches = 0;
  int chartChanges = 0;
  int clockMenu = -1;
  std::vector<TDateTime> shown;
  bool throwOnLines = false;
};

TDateTime At(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
  return EncodeDateTime({year, month, day, hour, minute, second, ms});
}

struct Fixture : ::testing::Test {
  Fixture() : clock(At(2013, 8, 1, 12, 0, 0)), cycle(state, clock, settings, view) {
    cycle.SetSeries({&pps, &efc, &hud, &sats});
    RefreshLogs logs;
    logs.AppendStatusHistory = [this](TDateTime t, const std::string& m) {
      status.push_back(FormatStamp(t) + ": " + m);
    };
    logs.AppendErrorLog = [this](TDateTime, const std::string& m) { errors.push_back(m); };
    logs.AppendDataLine = [this](const MeasurementRecord& r) { records.push_back(r); };
    cycle.SetLogs(logs);
    state.BeginCycle(At(2013, 8, 1, 12, 0, 10));
  }

  // One poll cycle's answers.
  void Publish(const std::string& pps, const std::string& efc, const std::string& hup, const std::string& tracked) {
    state.Publish(ReceiverValue::PpsTi, pps);
    state.Publish(ReceiverValue::Efc, efc);
    state.Publish(ReceiverValue::Hup, hup);
    state.Publish(ReceiverValue::Tracked, tracked);
  }
  void PublishScreen(const std::vector<std::string>& lines = {"screen", "line"}) {
    state.ClearStatusLines();
    for (const auto& l : lines) state.AppendStatusLine(l);
    state.FinishStatusLines();
  }
  // A status screen at the given cycle time, with a complete set of values.
  void ScreenAt(TDateTime t, const std::string& efc = "32768") {
    state.BeginCycle(t);
    Publish("1.5E-09", efc, "2.0E-06", "8");
    PublishScreen();
    cycle.Tick();
  }

  SharedReceiverState state;
  VirtualClock clock;
  VarnexSettings settings;
  FakeView view;
  RefreshCycle cycle;
  ChartSeries pps{"PPS TI"}, efc{"EFC"}, hud{"HUD"}, sats{"Sats"};
  std::vector<std::string> status, errors;
  std::vector<MeasurementRecord> records;
};

using RefreshCycleTest = Fixture;

TEST_F(RefreshCycleTest, PpsTiWaitsForEfc) {
  state.Publish(ReceiverValue::PpsTi, "1.5E-09");
  cycle.Tick();
  EXPECT_TRUE(state.IsNew(ReceiverValue::PpsTi));
  EXPECT_EQ(view.panels.count(RefreshCycle::PanelPpsTi), 0u);
  EXPECT_FALSE(cycle.PpsTiValid);

  state.Publish(ReceiverValue::Efc, "32768.25");
  cycle.Tick();
  EXPECT_FALSE(state.IsNew(ReceiverValue::PpsTi));
  EXPECT_FALSE(state.IsNew(ReceiverValue::Efc));
  EXPECT_EQ(view.panels[RefreshCycle::PanelPpsTi], "PPS TI = 1.50E-09 s");
  EXPECT_EQ(view.panels[RefreshCycle::PanelEfc], "EFC = 32768.25");
}

TEST_F(RefreshCycleTest, BadTextClearsOnlyItsFlagAndKeepsThePanel) {
  state.Publish(ReceiverValue::PpsTi, "1.5E-09");
  state.Publish(ReceiverValue::Efc, "12345");
  cycle.Tick();
  EXPECT_EQ(view.panels[RefreshCycle::PanelEfc], "EFC = 12345");

  state.Publish(ReceiverValue::PpsTi, "garbage");
  state.Publish(ReceiverValue::Efc, "1E999");
  cycle.Tick();
  EXPECT_FALSE(cycle.PpsTiValid);
  EXPECT_FALSE(cycle.EfcValid);
  EXPECT_EQ(view.panels[RefreshCycle::PanelPpsTi], "PPS TI = 1.50E-09 s");
  EXPECT_EQ(view.panels[RefreshCycle::PanelEfc], "EFC = 12345");
}

TEST_F(RefreshCycleTest, HoldoverUncertaintyCommaAndMagnitude) {
  state.Publish(ReceiverValue::Hup, "+1.2E-07,+3.4E-07");
  cycle.Tick();
  EXPECT_TRUE(cycle.HupValid);
  EXPECT_EQ(view.panels[RefreshCycle::PanelHup], "HUP = 1.20E-07 s");

  state.Publish(ReceiverValue::Hup, "2.5");
  cycle.Tick();
  EXPECT_FALSE(cycle.HupValid);
  EXPECT_DOUBLE_EQ(cycle.HupValue, 1.2e-7);  // only a valid value replaces it
  EXPECT_EQ(view.panels[RefreshCycle::PanelHup], "HUP = 1.20E-07 s");
}

TEST_F(RefreshCycleTest, IntegerPanelsTakeHexadecimal) {
  state.Publish(ReceiverValue::LifeCount, "$1F");
  state.Publish(ReceiverValue::Tracked, "0x08");
  state.Publish(ReceiverValue::Visible, "X0B");
  state.Publish(ReceiverValue::Idn, "HEWLETT-PACKARD,Z3801A,3718A01234,3.17");
  cycle.Tick();
  EXPECT_EQ(view.panels[RefreshCycle::PanelLife], "LIFE = 31");
  EXPECT_EQ(view.panels[RefreshCycle::PanelTracked], "Tracked = 8");
  EXPECT_EQ(view.panels[RefreshCycle::PanelVisible], "Visible = 11");
  EXPECT_EQ(view.panels[RefreshCycle::PanelIdn], "HEWLETT-PACKARD,Z3801A,3718A01234,3.17");

  state.Publish(ReceiverValue::Tracked, "99999999999");
  cycle.Tick();
  EXPECT_FALSE(cycle.TrackedValid);
  EXPECT_EQ(view.panels[RefreshCycle::PanelTracked], "Tracked = 8");
}

TEST_F(RefreshCycleTest, StatusTransitionsWriteTheirExactLines) {
  struct Step {
    const char* text;
    std::vector<std::string> lines;
  };
  const Step steps[] = {
      {"POW",
       {"2013-08-01 12:00:10: The last Smartclock Status is undefined",
        "2013-08-01 12:00:10: Starting with status POW"}},
      {"POW", {}},
      {"HOLD", {"2013-08-01 12:00:10: The Smartclock Status has changed to HOLD"}},
      {"LOCK", {"2013-08-01 12:00:10: The Smartclock Status has changed to LOCK"}},
      {"LOCK", {}},
      {"Locked", {"2013-08-01 12:00:10: The Smartclock Status has changed to Locked"}},
      {"Locked",
       {"2013-08-01 12:00:10: The last Smartclock Status is undefined",
        "2013-08-01 12:00:10: Starting with status Locked"}},
      {"WAIT",
       {"2013-08-01 12:00:10: The last Smartclock Status is undefined",
        "2013-08-01 12:00:10: Starting with status WAIT"}},
  };
  for (const Step& s : steps) {
    status.clear();
    state.Publish(ReceiverValue::OscStatus, s.text);
    cycle.Tick();
    EXPECT_EQ(status, s.lines) << s.text;
  }
}

TEST_F(RefreshCycleTest, SeededStatusIsNotLoggedAgain) {
  cycle.LastStatusCode = StatusLock;
  state.Publish(ReceiverValue::OscStatus, "LOCK");
  cycle.Tick();
  EXPECT_TRUE(status.empty());
}

TEST_F(RefreshCycleTest, ErrorTextLoggedOnceThenOnChange) {
  for (const char* text : {"+0,\"No error\"", "+0,\"No error\"", "-113,\"Undefined header\"", "+0,\"No error\""}) {
    state.Publish(ReceiverValue::Error, text);
    cycle.Tick();
  }
  EXPECT_EQ(errors, (std::vector<std::string>{"+0,\"No error\"", "-113,\"Undefined header\"", "+0,\"No error\""}));
}

TEST_F(RefreshCycleTest, NullPointsAfterStartAndAfterGaps) {
  const TDateTime t0 = At(2013, 8, 1, 12, 0, 10);
  ScreenAt(t0);
  ScreenAt(t0 + 10 * OneSecond);
  ScreenAt(t0 + 26 * OneSecond);
  for (ChartSeries* s : {&pps, &efc, &hud, &sats}) {
    ASSERT_EQ(s->Count(), 3u) << s->Title();
    EXPECT_TRUE(s->IsNull(0)) << s->Title();
    EXPECT_FALSE(s->IsNull(1)) << s->Title();
    EXPECT_TRUE(s->IsNull(2)) << s->Title();
    EXPECT_DOUBLE_EQ(s->X(1), t0 + 10 * OneSecond);
  }
  EXPECT_DOUBLE_EQ(pps.Y(1), 1.5e-9);
  EXPECT_DOUBLE_EQ(efc.Y(1), 32768.0);
  EXPECT_DOUBLE_EQ(hud.Y(1), 2e-6);
  EXPECT_DOUBLE_EQ(sats.Y(1), 8.0);
  EXPECT_EQ(view.chartChanges, 3);
}

TEST_F(RefreshCycleTest, ExactlyFifteenSecondsStillJoins) {
  const TDateTime t0 = At(2013, 8, 1, 12, 0, 10);
  ScreenAt(t0);
  ScreenAt(t0 + 15 * OneSecond);
  EXPECT_FALSE(pps.IsNull(1));
}

TEST_F(RefreshCycleTest, ClockSetBackOrAheadKeepsTheSeriesInTimeOrderAndTakingPoints) {
  const TDateTime t0 = At(2013, 8, 1, 12, 0, 10);
  struct Case {
    const char* name;
    double jumpSeconds;  // the stamp of the third screen, from t0
    // The series afterwards, as seconds from t0 and null flags, in order.
    std::vector<std::pair<double, bool>> expected;
  };
  const Case cases[] = {
      {"clock went back an hour", -3600, {{-3600, true}, {0, true}, {10, false}, {20, true}}},
      {"clock once two hours ahead", 7200, {{0, true}, {10, false}, {20, true}, {7200, true}}},
  };
  for (const Case& c : cases) {
    for (ChartSeries* s : {&pps, &efc, &hud, &sats}) s->Clear();
    cycle.LastPointTime = 0;
    ScreenAt(t0);
    ScreenAt(t0 + 10 * OneSecond);
    ScreenAt(t0 + c.jumpSeconds * OneSecond);
    ScreenAt(t0 + 20 * OneSecond);  // the clock is right again: points keep coming
    for (ChartSeries* s : {&pps, &efc, &hud, &sats}) {
      ASSERT_EQ(s->Count(), c.expected.size()) << c.name << " " << s->Title();
      for (std::size_t i = 0; i < c.expected.size(); ++i) {
        EXPECT_NEAR((s->X(i) - t0) * SecondsPerDay, c.expected[i].first, 1e-3) << c.name << " " << i;
        EXPECT_EQ(s->IsNull(i), c.expected[i].second) << c.name << " " << i;
      }
    }
  }
  EXPECT_EQ(records.size(), 8u);  // the data file still gets every line
}

TEST_F(RefreshCycleTest, EverythingIsStampedWithTheStartOfTheCycleThatProducedIt) {
  std::vector<TDateTime> statusStamps, errorStamps;
  RefreshLogs logs;
  logs.AppendStatusHistory = [&](TDateTime t, const std::string&) { statusStamps.push_back(t); };
  logs.AppendErrorLog = [&](TDateTime t, const std::string&) { errorStamps.push_back(t); };
  logs.AppendDataLine = [this](const MeasurementRecord& r) { records.push_back(r); };
  cycle.SetLogs(logs);
  const TDateTime start = At(2013, 8, 1, 12, 0, 10, 4);
  for (int round = 0; round < 3; ++round) {
    const TDateTime t = start + round * 10 * OneSecond;
    state.CycleTime = t;
    state.BeginCycle(t);
    Publish("1.5E-09", "32768", "2.0E-06", "8");
    state.Publish(ReceiverValue::OscStatus, round == 1 ? "HOLD" : "LOCK");
    state.Publish(ReceiverValue::Error, round == 1 ? "-100" : "+0");
    PublishScreen();
    // The cycle has ended; the tick test renews CycleTime before the screen is handled.
    state.CycleTime = t + 2600 * OneSecond / 1000;
    cycle.Tick();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(round + 1));
    EXPECT_EQ(records.back().Time, t);
    for (ChartSeries* s : {&pps, &efc, &hud, &sats}) EXPECT_EQ(s->Last().x, t) << s->Title();
    ASSERT_FALSE(statusStamps.empty());
    EXPECT_EQ(statusStamps.back(), t);
    ASSERT_FALSE(errorStamps.empty());
    EXPECT_EQ(errorStamps.back(), t);
  }
  // Cycles exactly 10 s apart stay joined; the gap rule compares the cycle stamps.
  EXPECT_FALSE(pps.IsNull(1));
  EXPECT_FALSE(pps.IsNull(2));
}

TEST_F(RefreshCycleTest, OnlyValidValuesArePlotted) {
  state.Publish(ReceiverValue::PpsTi, "bad");
  state.Publish(ReceiverValue::Efc, "32768");
  PublishScreen();
  cycle.Tick();
  EXPECT_EQ(pps.Count(), 0u);
  EXPECT_EQ(efc.Count(), 1u);
  EXPECT_EQ(hud.Count(), 0u);
  EXPECT_EQ(sats.Count(), 0u);
  EXPECT_TRUE(records.empty());
}

TEST_F(RefreshCycleTest, TrimsAllFourSeriesToTheSpan) {
  settings.SpanMinutes = 1;
  const TDateTime t0 = At(2013, 8, 1, 12, 0, 10);
  for (int i = 0; i <= 9; ++i) ScreenAt(t0 + i * 10 * OneSecond);
  // Newest at t0+90 s: points older than t0+30 s are gone, t0+30 s itself stays.
  for (ChartSeries* s : {&pps, &efc, &hud, &sats}) {
    ASSERT_EQ(s->Count(), 7u) << s->Title();
    EXPECT_NEAR((s->First().x - t0) * SecondsPerDay, 30.0, 1e-3) << s->Title();
  }
}

TEST_F(RefreshCycleTest, RightAxisSwitchesToDecimalsOnceAndStays) {
  const TDateTime t0 = At(2013, 8, 1, 12, 0, 10);
  state.Publish(ReceiverValue::PpsTi, "1E-9");
  state.Publish(ReceiverValue::Efc, "32768.25");
  cycle.Tick();
  EXPECT_EQ(view.axisSwitches, 0);  // waits for the next status screen
  ScreenAt(t0, "32768");
  EXPECT_EQ(view.axisSwitches, 0);
  ScreenAt(t0 + 10 * OneSecond, "32768.25");
  EXPECT_EQ(view.axisSwitches, 1);
  ScreenAt(t0 + 20 * OneSecond, "32768");
  ScreenAt(t0 + 30 * OneSecond, "32769.5");
  EXPECT_EQ(view.axisSwitches, 1);
  EXPECT_TRUE(cycle.RightAxisDecimals);
}

TEST_F(RefreshCycleTest, DataLineOnceAllFourAreValidWithThisTicksValues) {
  const TDateTime t0 = At(2013, 8, 1, 12, 0, 10);
  state.BeginCycle(t0);
  state.Publish(ReceiverValue::PpsTi, "-1.5E-09");
  state.Publish(ReceiverValue::Efc, "32768.25");
  state.Publish(ReceiverValue::Tracked, "8");
  PublishScreen();
  cycle.Tick();
  EXPECT_TRUE(records.empty());  // no holdover uncertainty yet

  state.BeginCycle(t0 + 10 * OneSecond);
  state.Publish(ReceiverValue::Hup, "2.0E-06");
  PublishScreen();
  cycle.Tick();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_DOUBLE_EQ(records[0].Time, t0 + 10 * OneSecond);
  EXPECT_DOUBLE_EQ(records[0].PpsTi, -1.5e-9);
  EXPECT_DOUBLE_EQ(records[0].Efc, 32768.25);
  EXPECT_DOUBLE_EQ(records[0].Hup, 2e-6);
  EXPECT_EQ(records[0].Tracked, 8);

  // Later screens write lines with the latest values, renewed or not.
  state.BeginCycle(t0 + 20 * OneSecond);
  PublishScreen();
  cycle.Tick();
  EXPECT_EQ(records.size(), 2u);
}

TEST_F(RefreshCycleTest, StatusScreenFillsWindowTableAndHorizon) {
  state.Publish(ReceiverValue::Tracked, "2");
  PublishScreen({"Receiver Status", "PRN El Az C/N", "  2 65 267 49", " 14 7 123 40", "end"});
  cycle.Tick();
  EXPECT_EQ(view.lines.size(), 5u);
  EXPECT_EQ(cycle.Satellites.Count, 2);
  ASSERT_EQ(view.display.Bars.size(), 2u);
  EXPECT_EQ(view.display.Sky[1].Label, "PRN: 14 C/N: 40");
  EXPECT_EQ(settings.HorizonTable[123], 7);
  EXPECT_EQ(view.horizonUpdates, 1);
}

// What the sky view learns reaches the settings file at most every ten minutes once
// it has changed, and a file that cannot be written is tried again an interval later.
TEST_F(RefreshCycleTest, ALearnedHorizonIsSavedAtMostEveryTenMinutes) {
  int saves = 0;
  bool works = true;
  std::uint8_t savedAt100 = 90;
  cycle.SetHorizonSave([&] {
    ++saves;
    if (works) savedAt100 = settings.HorizonTable[100];
    return works;
  });
  struct Step {
    int atSeconds;
    int lowerAzimuth;  // -1: nothing learned
    bool works;
    int saves;
  };
  const Step steps[] = {
      {30, -1, true, 0},     // unchanged: nothing to write
      {60, 200, true, 0},    // learned, within ten minutes of the start
      {599, -1, true, 0},    //
      {600, -1, true, 1},    // ten minutes on
      {601, 100, true, 1},   // learned again: waits for the interval
      {1199, -1, true, 1},   //
      {1200, -1, false, 2},  // the file cannot be written: traced
      {1500, -1, true, 2},   // not tried again before the interval
      {1800, -1, true, 3},   //
      {1900, 150, true, 3},  // learned again
      {100, -1, true, 3},    // the clock set back: the interval counts from here
      {700, -1, true, 4},    //
      {3600, -1, true, 4},   // nothing new since
  };
  const TDateTime start = clock.UtcNow();
  for (const Step& step : steps) {
    clock.Set(start + step.atSeconds / SecondsPerDay);
    if (step.lowerAzimuth >= 0) settings.HorizonTable[static_cast<std::size_t>(step.lowerAzimuth)] = 5;
    works = step.works;
    cycle.Tick();
    EXPECT_EQ(saves, step.saves) << "at " << step.atSeconds << " s";
  }
  EXPECT_EQ(savedAt100, 5);
  int traced = 0;
  for (const std::string& line : state.DrainTrace())
    traced += line.find(" A error in \"SaveSettings\" has occurred\r\n") != std::string::npos;
  EXPECT_EQ(traced, 1);
}

TEST_F(RefreshCycleTest, FailureInHandleStatusIsTracedAndTheTickGoesOn) {
  view.throwOnLines = true;
  state.TraceHold = true;  // the failure note ignores the hold
  ScreenAt(At(2013, 8, 1, 12, 0, 10));
  const auto trace = state.DrainTrace();
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0], "A error in \"HandleStatus\" has occurred\r\n");
  EXPECT_EQ(pps.Count(), 0u);
  EXPECT_TRUE(records.empty());

  view.throwOnLines = false;
  ScreenAt(At(2013, 8, 1, 12, 0, 20));
  EXPECT_EQ(pps.Count(), 1u);
}

TEST_F(RefreshCycleTest, ThrowingLogsNeverEscapeTheTick) {
  RefreshLogs logs;
  logs.AppendStatusHistory = [](TDateTime, const std::string&) { throw std::runtime_error("disk"); };
  logs.AppendErrorLog = [](TDateTime, const std::string&) { throw std::runtime_error("disk"); };
  logs.AppendDataLine = [](const MeasurementRecord&) { throw std::runtime_error("disk"); };
  cycle.SetLogs(logs);
  state.Publish(ReceiverValue::OscStatus, "LOCK");
  state.Publish(ReceiverValue::Error, "+0");
  EXPECT_NO_THROW(ScreenAt(At(2013, 8, 1, 12, 0, 10)));
  EXPECT_EQ(cycle.LastStatusCode, StatusLock);
  EXPECT_EQ(pps.Count(), 1u);
}

TEST_F(RefreshCycleTest, AnyAnswerTextOnlyTouchesValidFlags) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 64);
  const ReceiverValue values[] = {ReceiverValue::PpsTi,     ReceiverValue::Efc,       ReceiverValue::Hup,
                                  ReceiverValue::LifeCount, ReceiverValue::Tracked,   ReceiverValue::Visible,
                                  ReceiverValue::Idn,       ReceiverValue::OscStatus, ReceiverValue::Error,
                                  ReceiverValue::TimeCode};
  for (int round = 0; round < 300; ++round) {
    for (ReceiverValue v : values) {
      std::string text(static_cast<std::size_t>(round == 0 ? 10240 : length(rng)), ' ');
      for (char& c : text) c = static_cast<char>(byte(rng));
      state.Publish(v, text, true);
    }
    std::vector<std::string> screen(static_cast<std::size_t>(length(rng)));
    for (auto& l : screen)
      for (int i = length(rng); i > 0; --i) l.push_back(static_cast<char>(byte(rng)));
    screen.insert(screen.begin(), {"x", "PRN"});
    state.ClearStatusLines();
    for (auto& l : screen) state.AppendStatusLine(l);
    state.FinishStatusLines();
    state.BeginCycle(At(2013, 8, 1, 12, 0, 10) + round * 10 * OneSecond);
    EXPECT_NO_THROW(cycle.Tick());
  }
  EXPECT_LE(cycle.Satellites.Count, SatelliteTable::Capacity);
  for (ChartSeries* s : {&pps, &efc, &hud, &sats})
    for (std::size_t i = 0; i + 1 < s->Count(); ++i) EXPECT_LE(s->X(i), s->X(i + 1));
}

TEST_F(RefreshCycleTest, ClockTimeCodeLength) {
  state.Publish(ReceiverValue::TimeCode, "T22013080112345600");
  cycle.Tick();
  EXPECT_EQ(view.clockMenu, 1);
  EXPECT_TRUE(cycle.ClockValid);
  EXPECT_EQ(FormatStamp(cycle.ClockTime), "2013-08-01 12:34:56");

  state.Publish(ReceiverValue::TimeCode, "T2201308011234560");  // 17 characters
  cycle.Tick();
  EXPECT_EQ(view.clockMenu, 0);
  EXPECT_FALSE(cycle.ClockValid);

  state.Publish(ReceiverValue::TimeCode, "T2201308011234x600");  // menu left as it was
  cycle.Tick();
  EXPECT_EQ(view.clockMenu, 0);
  EXPECT_FALSE(cycle.ClockValid);

  state.Publish(ReceiverValue::TimeCode, "T22013023012345600");  // no such date: time kept, menu on
  cycle.Tick();
  EXPECT_EQ(view.clockMenu, 1);
  EXPECT_TRUE(cycle.ClockValid);
  EXPECT_EQ(FormatStamp(cycle.ClockTime), "2013-08-01 12:34:56");
}

TEST_F(RefreshCycleTest, ClockHandOverWhenTheSecondChangesInTheSameTick) {
  clock.Set(At(2013, 8, 1, 12, 0, 0, 950));
  cycle.Tick();
  view.shown.clear();
  clock.Advance(100);  // into a new local second
  state.Publish(ReceiverValue::TimeCode, "T22013080112345600");
  cycle.Tick();
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(FormatStamp(view.shown[0]), "2013-08-01 12:34:55");
}

TEST_F(RefreshCycleTest, ClockHandOverAtTheNextSecond) {
  clock.Set(At(2013, 8, 1, 12, 0, 0, 100));
  cycle.Tick();
  view.shown.clear();
  clock.Advance(100);  // same second
  state.Publish(ReceiverValue::TimeCode, "T22013080112345600");
  cycle.Tick();
  EXPECT_TRUE(view.shown.empty());
  for (int i = 0; i < 7; ++i) {
    clock.Advance(100);
    cycle.Tick();
  }
  EXPECT_TRUE(view.shown.empty());
  clock.Advance(100);  // 12:00:01.000 local
  cycle.Tick();
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(FormatStamp(view.shown[0]), "2013-08-01 12:34:56");
  EXPECT_EQ(FormatStamp(cycle.ClockTime), "2013-08-01 12:34:57");
}

TEST_F(RefreshCycleTest, ClockRunsOnOncePerSecond) {
  clock.Set(At(2013, 8, 1, 12, 0, 0, 0));
  state.Publish(ReceiverValue::TimeCode, "T22013080112345600");
  cycle.Tick();
  view.shown.clear();
  for (int i = 0; i < 30; ++i) {
    clock.Advance(100);
    cycle.Tick();
  }
  ASSERT_EQ(view.shown.size(), 3u);
  EXPECT_EQ(FormatStamp(view.shown[2]), "2013-08-01 12:34:58");
}

}  // namespace
