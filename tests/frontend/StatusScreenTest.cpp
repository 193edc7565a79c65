#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/StatusScreen.h"
#include "link/SharedReceiverState.h"

namespace {

using Lines = std::vector<std::string>;

// A Z3801-like screen: the satellite header is on line 5 (1-based).
Lines Screen() {
  return {"---------------------------- Receiver Status ----------------------------",
          "SYNCHRONIZATION ............................................. [ Outputs Valid ]",
          "SmartClock Mode ___________________________   Reference Outputs _______________",
          ">> Locked to GPS                              TFOM     3             FFOM     0",
          "ACQUISITION ............................................ [ GPS 1PPS Valid ]",
          "Tracking: 2 ____   Not Tracking: 5 ________   Time _____________________________",
          "PRN  El  Az  C/N   PRN  El  Az                UTC      12:34:56     01 Aug 2013",
          "   2  65 267   49    7  12 301                1PPS CLK Synchronized to UTC",
          "  14  30  88   45   19  40 122                ANT DLY  0 ns",
          "HEALTH MONITOR ......................................................... [ OK ]"};
}

std::deque<std::string> Trace(SharedReceiverState& state) { return state.DrainTrace(); }

TEST(GetTrackedData, ReadsRowsBelowTheHeaderAndTraces) {
  SharedReceiverState state;
  SatelliteTable table;
  GetTrackedData(Screen(), 2, table, state);
  ASSERT_EQ(table.Count, 2);
  EXPECT_EQ(table.Rows[0].Prn, 2);
  EXPECT_EQ(table.Rows[0].CN, 49);
  EXPECT_EQ(table.Rows[0].Azimuth, 267);
  EXPECT_EQ(table.Rows[0].Elevation, 65);
  EXPECT_EQ(table.Rows[1].Prn, 14);
  EXPECT_EQ(table.Rows[1].CN, 45);
  EXPECT_EQ(table.Rows[1].Azimuth, 88);
  EXPECT_EQ(table.Rows[1].Elevation, 30);

  const auto trace = Trace(state);
  ASSERT_EQ(trace.size(), 5u);
  EXPECT_EQ(trace[0], "\r\n");
  EXPECT_EQ(trace[1], "\r\n");
  EXPECT_EQ(trace[2], "String PRN found in line 7 of status screen\r\n");
  EXPECT_EQ(trace[3], "Using line \"   2  65 267   49    7  12 301.....\" for capturing sat data\r\n");
  EXPECT_EQ(trace[4], "Using line \"  14  30  88   45   19  40 122.....\" for capturing sat data\r\n");
}

TEST(GetTrackedData, HoldSilencesTheNotesButNotTheTable) {
  SharedReceiverState state;
  state.TraceHold = true;
  SatelliteTable table;
  GetTrackedData(Screen(), 2, table, state);
  EXPECT_EQ(table.Count, 2);
  EXPECT_TRUE(Trace(state).empty());
}

TEST(GetTrackedData, NoHeaderLeavesTheTableAlone) {
  const Lines noPrn = {"Status", "nothing here", "   2  65 267   49"};
  const Lines firstOnly = {"PRN El Az C/N", "   2  65 267   49", "  14  30  88   45"};
  for (const Lines& lines : {noPrn, firstOnly, Lines{}}) {
    SharedReceiverState state;
    SatelliteTable table;
    table.Count = 1;
    table.Rows[0] = {9, 40, 100, 20};
    GetTrackedData(lines, 2, table, state);
    EXPECT_EQ(table.Count, 1);
    EXPECT_EQ(table.Rows[0].Prn, 9);
    EXPECT_TRUE(Trace(state).empty());
  }
}

TEST(GetTrackedData, LastHeaderWinsAndLowerCaseCounts) {
  SharedReceiverState state;
  SatelliteTable table;
  const Lines lines = {"title", "prn el az c/n", "   3  10  20   30", "later prn list", "   5  11  21   31"};
  GetTrackedData(lines, 1, table, state);
  ASSERT_EQ(table.Count, 1);
  EXPECT_EQ(table.Rows[0].Prn, 5);
  EXPECT_EQ(Trace(state)[2], "String PRN found in line 4 of status screen\r\n");
}

struct RowCase {
  const char* name;
  Lines below;  // lines under the header
  int tracked;
  std::vector<int> prns;
};

TEST(GetTrackedData, RowRules) {
  const RowCase cases[] = {
      {"tracked zero empties", {"  2 65 267 49"}, 0, {}},
      {"tracked negative empties", {"  2 65 267 49"}, -3, {}},
      {"more tracked than lines", {"  2 65 267 49", "  4 10 10 40"}, 8, {2, 4}},
      {"first number zero is skipped", {"  0 65 267 49", "  4 10 10 40"}, 2, {4}},
      {"line without numbers ends", {"  2 65 267 49", "no numbers", "  4 10 10 40"}, 3, {2}},
      {"fewer than four numbers skipped", {"  2 65 267", "  4 10 10 40"}, 2, {4}},
      {"beyond 32 bits skipped", {"  99999999999 65 267 49", "  4 10 10 40"}, 2, {4}},
      {"asterisk hides a number", {"  *2 65 267 49 7", "  4 10 10 40"}, 2, {65, 4}},
      {"only tracked count read", {"  2 65 267 49", "  4 10 10 40", "  6 10 10 40"}, 2, {2, 4}},
  };
  for (const RowCase& c : cases) {
    SharedReceiverState state;
    SatelliteTable table;
    table.Count = 3;
    Lines lines = {"head", "PRN El Az C/N"};
    lines.insert(lines.end(), c.below.begin(), c.below.end());
    GetTrackedData(lines, c.tracked, table, state);
    ASSERT_EQ(table.Count, static_cast<int>(c.prns.size())) << c.name;
    for (std::size_t i = 0; i < c.prns.size(); ++i) EXPECT_EQ(table.Rows[i].Prn, c.prns[i]) << c.name;
  }
}

TEST(GetTrackedData, RoundsHalvesToEven) {
  SharedReceiverState state;
  SatelliteTable table;
  GetTrackedData({"x", "PRN", " 2.5 64.5 267.5 48.5", " 3.5 -0.5 1.49 1.51"}, 2, table, state);
  ASSERT_EQ(table.Count, 2);
  EXPECT_EQ(table.Rows[0].Prn, 2);
  EXPECT_EQ(table.Rows[0].Elevation, 64);
  EXPECT_EQ(table.Rows[0].Azimuth, 268);
  EXPECT_EQ(table.Rows[0].CN, 48);
  EXPECT_EQ(table.Rows[1].Prn, 4);
  EXPECT_EQ(table.Rows[1].Elevation, 0);
  EXPECT_EQ(table.Rows[1].Azimuth, 1);
  EXPECT_EQ(table.Rows[1].CN, 2);
}

TEST(GetTrackedData, AtMostTwentyFourRowsFromAThousandLines) {
  SharedReceiverState state;
  SatelliteTable table;
  Lines lines = {"title", "PRN El Az C/N"};
  for (int i = 1; i <= 1000; ++i) lines.push_back(" " + std::to_string(i) + " 10 20 30");
  GetTrackedData(lines, 1000, table, state);
  EXPECT_EQ(table.Count, SatelliteTable::Capacity);
  EXPECT_EQ(table.Rows[23].Prn, 24);
  // The header notes and one note per stored row.
  EXPECT_EQ(Trace(state).size(), 3u + SatelliteTable::Capacity);
}

TEST(GetTrackedData, SurvivesHostileLines) {
  SharedReceiverState state;
  SatelliteTable table;
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  Lines lines = {"", "PRN", bytes, std::string(10240, '9'), " 1E999 2 3 4", " -5 91 400 40"};
  GetTrackedData(lines, 2147483647, table, state);
  EXPECT_LE(table.Count, SatelliteTable::Capacity);
  EXPECT_GE(table.Count, 0);
}

TEST(SatelliteDisplay, PointsBarsAndHorizon) {
  SatelliteTable table;
  table.Count = 4;
  table.Rows[0] = {7, 42, 123, 7};
  table.Rows[1] = {8, 0, 124, 3};    // no C/N: nothing at all
  table.Rows[2] = {9, 40, 123, 20};  // higher at the same azimuth
  table.Rows[3] = {0, 40, 125, 2};   // no PRN
  table.Rows[4] = {11, 40, 126, 1};  // a leftover beyond the count
  HorizonTable horizon;
  horizon.fill(90);
  const SatelliteDisplay d = BuildSatelliteDisplay(table, horizon);
  ASSERT_EQ(d.Sky.size(), 2u);
  EXPECT_EQ(d.Sky[0].Label, "PRN: 7 C/N: 42");
  EXPECT_DOUBLE_EQ(d.Sky[0].Angle, 237.0);
  EXPECT_DOUBLE_EQ(d.Sky[0].Radius, 83.0);
  ASSERT_EQ(d.Bars.size(), 2u);
  EXPECT_EQ(d.Bars[0].Label, "PRN 7");
  EXPECT_DOUBLE_EQ(d.Bars[0].Value, 42.0);
  EXPECT_EQ(d.Bars[1].Label, "PRN 9");
  EXPECT_EQ(horizon[123], 7);
  EXPECT_EQ(horizon[124], 90);
  EXPECT_EQ(horizon[125], 90);
  EXPECT_EQ(horizon[126], 90);
}

TEST(SatelliteDisplay, OutOfRangeAnglesAreShownButNeverIndexTheHorizon) {
  SatelliteTable table;
  table.Count = 4;
  table.Rows[0] = {1, 40, 360, 10};
  table.Rows[1] = {2, 40, -1, 10};
  table.Rows[2] = {3, 40, 10, 91};
  table.Rows[3] = {4, 40, 11, -5};
  HorizonTable horizon;
  horizon.fill(90);
  const SatelliteDisplay d = BuildSatelliteDisplay(table, horizon);
  EXPECT_EQ(d.Sky.size(), 4u);
  EXPECT_EQ(d.Bars.size(), 4u);
  for (std::uint8_t e : horizon) EXPECT_EQ(e, 90);
}

TEST(SatelliteDisplay, ACountOutsideTheTableReadsNoFurther) {
  SatelliteTable table;
  for (auto& r : table.Rows) r = {1, 30, 10, 10};
  HorizonTable horizon;
  horizon.fill(90);
  table.Count = 1000;
  EXPECT_EQ(BuildSatelliteDisplay(table, horizon).Bars.size(), 24u);
  table.Count = -1;
  EXPECT_TRUE(BuildSatelliteDisplay(table, horizon).Bars.empty());
}

}  // namespace
