#include <gtest/gtest.h>

#include <cmath>
#include <new>

#include "charting/ChartSeries.h"
#include "frontend/DataFile.h"
#include "frontend/PersistTestFiles.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return EncodeDateTime({y, mo, d, h, mi, s, 0}); }

TEST(DataFile, FieldFormat) {
  const std::pair<double, const char*> cases[] = {
      {-1.5e-9, "-1.500000000000000E-09"}, {0.0, "+0.000000000000000E+00"},
      {-0.0, "+0.000000000000000E+00"},    {32768.25, "+3.276825000000000E+04"},
      {8.0, "+8.000000000000000E+00"},     {2e-6, "+2.000000000000000E-06"},
      {1e100, "+1.000000000000000E+100"},  {-1.25e-300, "-1.250000000000000E-300"},
      {0.1, "+1.000000000000000E-01"},     {123456789012345678.0, "+1.234567890123457E+17"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatDataField(value), text);
}

TEST(DataFile, LineFormat) {
  const DataRecord r{At(2013, 8, 1, 12), -1.5e-9, 32768.25, 2e-6, 8};
  const std::string line = FormatDataLine(r);
  EXPECT_EQ(line,
            "+5.650550000000000E+04\t-1.500000000000000E-09\t+3.276825000000000E+04\t+2.000000000000000E-06\t"
            "+8.000000000000000E+00");
  EXPECT_EQ(line.size(), 114u);
}

TEST(DataFile, WeeklyNamesFollowTheIsoWeekOfTheUtcDate) {
  const std::pair<TDateTime, const char*> cases[] = {
      {At(2013, 8, 1, 12), "VarnexData2013CW31.Txt"},         {At(2012, 12, 31, 0, 0, 1), "VarnexData2013CW01.Txt"},
      {At(2016, 1, 1, 23, 59, 59), "VarnexData2015CW53.Txt"}, {At(2013, 8, 4, 23, 59, 55), "VarnexData2013CW31.Txt"},
      {At(2013, 8, 5, 0, 0, 5), "VarnexData2013CW32.Txt"},    {At(2010, 1, 1), "VarnexData2009CW53.Txt"},
      {At(2014, 12, 31), "VarnexData2015CW01.Txt"},           {At(2016, 1, 3, 23, 59, 59), "VarnexData2015CW53.Txt"},
  };
  for (const auto& [t, name] : cases) EXPECT_EQ(DataFileName(t), name) << FormatStamp(t);
}

TEST(DataFile, AppendOnlyAddsLines) {
  TempFolder dir;
  const TDateTime t = At(2013, 8, 1, 12);
  const std::string name = dir.File("VarnexData2013CW31.Txt");
  WriteFileBytes(name, "kept\r\n");
  ASSERT_TRUE(AppendDataLine(dir.Path(), {t, -1.5e-9, 32768.25, 2e-6, 8}));
  ASSERT_TRUE(AppendDataLine(dir.Path(), {t + 10 * OneSecond, 0, 1, 0, 9}));
  EXPECT_EQ(ReadFileBytes(name), "kept\r\n" + FormatDataLine({t, -1.5e-9, 32768.25, 2e-6, 8}) + "\r\n" +
                                     FormatDataLine({t + 10 * OneSecond, 0, 1, 0, 9}) + "\r\n");
}

TEST(DataFile, AppendAfterACrashCutLineKeepsTheNewLineWhole) {
  TempFolder dir;
  const TDateTime t = At(2013, 8, 1, 12);
  const std::string name = dir.File(DataFileName(t));
  WriteFileBytes(name, "+5.6505");
  ASSERT_TRUE(AppendDataLine(dir.Path(), {t, 1, 2, 3, 4}));
  EXPECT_EQ(ReadFileBytes(name), "+5.6505\r\n" + FormatDataLine({t, 1, 2, 3, 4}) + "\r\n");
}

TEST(DataFile, FailedAppendQueuesOneTraceNote) {
  TempFolder dir;
  SharedReceiverState state;
  EXPECT_FALSE(AppendDataLine(dir.File("missing"), {At(2013, 8, 1), 1, 2, 3, 4}, &state));
  EXPECT_FALSE(AppendDataLine(dir.Path(), {At(2013, 8, 1), NAN, 2, 3, 4}, &state));
  const auto lines = state.DrainTrace();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "A error in \"AppendDataLine\" has occurred\r\n");
  EXPECT_FALSE(FileExists(dir.File(DataFileName(At(2013, 8, 1)))));
}

// A folder with data files and a virtual "now".
class DataLoad : public ::testing::Test {
 protected:
  DataLoad() : clock_(At(2013, 8, 7, 12)) {
    source_.Folder = dir_.Path();
    source_.clock = &clock_;
    source_.SpanMinutes = 1440;
  }
  TDateTime Now() { return clock_.UtcNow(); }
  static std::string Line(TDateTime t, double pps, double efc, double hup = 1e-6, double sats = 7) {
    return FormatDataLine({t, pps, efc, hup, sats}) + "\r\n";
  }
  void Write(const std::string& name, const std::string& text) { WriteFileBytes(dir_.File(name), text); }
  void Load() { LoadChartHistory(source_, pps_, efc_); }

  TempFolder dir_;
  VirtualClock clock_;
  HistorySource source_;
  ChartSeries pps_{"PPS TI"}, efc_{"EFC"};
};

struct Expect {
  double ageSeconds;  // before now
  double y;
  bool isNull;
};

void ExpectPoints(const ChartSeries& s, TDateTime now, const std::vector<Expect>& expected) {
  ASSERT_EQ(s.Count(), expected.size()) << s.Title();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR((now - s.X(i)) * SecondsPerDay, expected[i].ageSeconds, 1e-3) << s.Title() << " point " << i;
    EXPECT_EQ(s.Y(i), expected[i].y) << s.Title() << " point " << i;
    EXPECT_EQ(s.IsNull(i), expected[i].isNull) << s.Title() << " point " << i;
  }
}

TEST_F(DataLoad, SpanFilterGapsAndClosingNullPoints) {
  const TDateTime now = Now();
  const double day = 1.0;
  std::string text = Line(now - day - 60 * OneSecond, 1, 11)  // older than the span
                     + Line(now - day, 2, 12)                 // exactly as old as the span
                     + Line(now - 100 * OneSecond, 3, 13)     // first charted: after p = 0, a null point
                     + Line(now - 90 * OneSecond, 4, 14)      // 10 s later: joined
                     + Line(now - 75 * OneSecond, 5, 15)      // 15 s later: still joined
                     + Line(now - 59 * OneSecond, 6, 16);     // 16 s later: a new stretch
  Write(DataFileName(now), text);
  Load();
  ExpectPoints(pps_, now, {{100, 3, true}, {90, 4, false}, {75, 5, false}, {59, 6, true}, {59, 6, true}});
  ExpectPoints(efc_, now, {{100, 13, true}, {90, 14, false}, {75, 15, false}, {59, 16, true}, {59, 16, true}});
  EXPECT_FALSE(pps_.Updating());
  // Loading reads only.
  EXPECT_EQ(ReadFileBytes(dir_.File(DataFileName(now))), text);
}

TEST_F(DataLoad, PreviousTimeRunsOnAcrossWeekFilesButNotFromTheUndatedFile) {
  const TDateTime now = At(2013, 8, 5, 0, 0, 30);  // Monday: last week's file and this week's
  clock_.Set(now);
  Write(UndatedDataFileName, Line(now - 40 * OneSecond, 1, 1));
  Write(DataFileName(now - 35 * OneSecond), Line(now - 35 * OneSecond, 2, 2));
  Write(DataFileName(now), Line(now - 25 * OneSecond, 3, 3));
  Load();
  // Undated: its own null start and closing null; weekly: p starts at 0 once, so the
  // first weekly line is a null point, and the next file's line 10 s on is joined.
  ExpectPoints(pps_, now, {{40, 1, true}, {40, 1, true}, {35, 2, true}, {35, 2, true}, {25, 3, false}, {25, 3, true}});
}

TEST_F(DataLoad, TenDaySpanVisitsEveryWeekAndPassesOverMissingOnes) {
  source_.SpanMinutes = 14400;
  const TDateTime now = Now();
  Write(DataFileName(now - 9.5), Line(now - 9.5, 1, 1));
  // The week in between has no file.
  Write(DataFileName(now), Line(now - 0.1, 3, 3));
  // Files ahead (a clock once wrong) are read, but their lines stamped more than a
  // minute ahead of now stay out of the chart, or the live points would wait for them.
  Write(DataFileName(now + 10), Line(now + 10, 4, 4) + Line(now + 50 * OneSecond, 6, 6));
  Write(DataFileName(now + 21), Line(now + 21, 5, 5));  // three weeks ahead is not
  Load();
  ASSERT_EQ(pps_.Count(), 6u);
  EXPECT_EQ(pps_.Y(0), 1);
  EXPECT_EQ(pps_.Y(2), 3);
  EXPECT_EQ(pps_.Y(4), 6);
}

TEST_F(DataLoad, LinesThatDoNotParseAreSkipped) {
  const TDateTime now = Now();
  std::string text = "Varnex data, a header\r\n";
  text += Line(now - 50 * OneSecond, 1, 11);
  text += "\r\n";
  text += FormatDataField(now - 45 * OneSecond + MjdOffset) + "\t1.0\r\n";  // only two numbers
  text += std::string("\0\0\0", 3) + "\x01\xff\xfe garbage \x80\r\n";
  text += std::string(1 << 20, 'x') + "\n";                          // a 1 MB line
  text += Line(now - 40 * OneSecond, 2, 12).substr(0, 114) + "\n";   // LF only
  text += std::string("\0", 1) + Line(now - 30 * OneSecond, 3, 13);  // NUL before the line
  text += Line(now - 20 * OneSecond, 4, 14).substr(0, 50);           // cut by a crash, no line end
  Write(DataFileName(now), text);
  Load();
  // The cut line still holds three numbers, but its EFC is only the first digits of
  // one: the line is not charted.
  ASSERT_EQ(pps_.Count(), 4u);
  EXPECT_EQ(pps_.Y(0), 1);
  EXPECT_EQ(pps_.Y(1), 2);
  EXPECT_EQ(pps_.Y(2), 3);
  EXPECT_TRUE(pps_.IsNull(3));
  EXPECT_EQ(ReadFileBytes(dir_.File(DataFileName(now))), text);
}

TEST_F(DataLoad, FileWithoutNumbersAddsNothing) {
  Write(DataFileName(Now()), "no numbers here\r\n\r\nnone\r\n");
  Write(UndatedDataFileName, "");
  Load();
  EXPECT_TRUE(pps_.Empty());
  EXPECT_TRUE(efc_.Empty());
}

TEST_F(DataLoad, HoldoverLoaderNeedsFiveNumbers) {
  const TDateTime now = Now();
  Write(DataFileName(now),
        Line(now - 30 * OneSecond, 1, 2, 3e-6, 9) + FormatDataField(now - 20 * OneSecond + MjdOffset) + " 1 2 3\r\n");
  ChartSeries hud("HUD"), sats("Sats");
  LoadHoldoverHistory(source_, hud, sats);
  ExpectPoints(hud, now, {{30, 3e-6, true}, {30, 3e-6, true}});
  ExpectPoints(sats, now, {{30, 9, true}, {30, 9, true}});
  Load();
  EXPECT_EQ(pps_.Count(), 3u);  // the main chart takes the four-number line
}

TEST_F(DataLoad, EventsRunEvery1000LinesAndLivePointsStayInOrder) {
  const TDateTime now = Now();
  std::string text;
  for (int i = 2500; i > 0; --i) text += Line(now - i * 10 * OneSecond, i, i);
  Write(DataFileName(now), text);
  int runs = 0;
  source_.ProcessEvents = [&] {
    ++runs;
    // The refresh cycle may add a live point meanwhile; "now" moves on too.
    clock_.Advance(10000);
    pps_.AddNull(Now(), -1);
  };
  Load();
  EXPECT_EQ(runs, 2);
  ASSERT_EQ(pps_.Count(), 2500u + 1 + 2);
  for (std::size_t i = 1; i < pps_.Count(); ++i) ASSERT_LE(pps_.X(i - 1), pps_.X(i)) << i;
  EXPECT_EQ(pps_.Y(pps_.Count() - 1), -1);
  EXPECT_EQ(pps_.Y(2500), 1);
  EXPECT_TRUE(pps_.IsNull(2500));
}

// A file whose reading fails (memory running out on a huge one) is abandoned alone:
// the files before and after it are charted, and the series leave their bulk update,
// or the chart would never draw them again.
TEST_F(DataLoad, AFailingFileIsAbandonedAlone) {
  source_.SpanMinutes = 14400;
  const TDateTime now = Now();
  Write(UndatedDataFileName, Line(now - 5, 1, 1));
  std::string big;
  for (int i = 1500; i > 0; --i) big += Line(now - 4 - i * 10 * OneSecond, 2, 2);
  Write(DataFileName(now - 4), big);
  Write(DataFileName(now), Line(now - 60 * OneSecond, 3, 3));
  source_.ProcessEvents = [] { throw std::bad_alloc(); };
  EXPECT_NO_THROW(Load());
  ExpectPoints(pps_, now, {{5 * 86400, 1, true}, {5 * 86400, 1, true}, {60, 3, true}, {60, 3, true}});
  ExpectPoints(efc_, now, {{5 * 86400, 1, true}, {5 * 86400, 1, true}, {60, 3, true}, {60, 3, true}});
  EXPECT_FALSE(pps_.Updating());
  EXPECT_FALSE(efc_.Updating());
}

TEST_F(DataLoad, NowIsTakenAfreshForEveryLine) {
  const TDateTime now = Now();
  std::string text;
  for (int i = 0; i < 3000; ++i) text += Line(now - 1.0 + (i + 1) * 10 * OneSecond, i, i);
  Write(DataFileName(now), text);
  // Time passes during the load (15000 s per event run), so the span's start moves on.
  source_.ProcessEvents = [&] { clock_.Advance(15000 * 1000.0); };
  Load();
  // Lines 0..998 come before the first run; lines 999..1499 have then left the span;
  // 1500..1998 are charted; after the second run every remaining line is too old.
  ASSERT_EQ(pps_.Count(), 999u + 499 + 1);
  EXPECT_EQ(pps_.Y(998), 998);
  EXPECT_EQ(pps_.Y(999), 1500);
  EXPECT_TRUE(pps_.IsNull(999));
  EXPECT_FALSE(pps_.IsNull(1000));
  EXPECT_EQ(pps_.Y(1497), 1998);
  EXPECT_TRUE(pps_.IsNull(1498));
}

}  // namespace
