#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "charting/EditorTree.h"
#include "charting/SeriesFunction.h"
#include "charting/SeriesRoster.h"

namespace {

// A noisy series with null points: alone, in pairs, and at the very start.
ChartSeries Noisy(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  ChartSeries s("PPS TI");
  for (int i = 0; i < count; ++i) {
    const double x = 46000.0 + i * 10.0 / 86400.0;
    const double y = 1e-9 * (5.0 + noise(rng));
    const bool null = i == 0 || i % 97 == 13 || i % 97 == 14 || i % 211 == 50;
    null ? s.AddNull(x, y) : s.Add(x, y);
  }
  return s;
}

// The moving average written out directly: per point, walk back over the last
// window points of its unbroken stretch.
std::vector<ChartPoint> DirectAverage(const ChartSeries& s, int window) {
  std::vector<ChartPoint> out;
  for (std::size_t i = 0; i < s.Count(); ++i) {
    if (s.IsNull(i)) {
      out.push_back(s.Point(i));
      continue;
    }
    double sum = 0.0;
    int n = 0;
    for (std::size_t j = i + 1; j-- > 0 && n < window && !s.IsNull(j);) sum += s.Y(j), ++n;
    if (n == window) out.push_back({s.X(i), sum / window, false});
  }
  return out;
}

void ExpectSame(const std::vector<ChartPoint>& expected, const ChartSeries& got, const std::string& what) {
  ASSERT_EQ(got.Count(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(got.X(i), expected[i].x) << what << " point " << i;
    ASSERT_EQ(got.IsNull(i), expected[i].isNull) << what << " point " << i;
    if (!expected[i].isNull) {
      ASSERT_NEAR(got.Y(i), expected[i].y, 1e-12 * std::fabs(expected[i].y)) << what << " point " << i;
    }
  }
}

TEST(SeriesFunction, MovingAverageFollowsItsSourceAsTheDirectCalculationDoes) {
  const ChartSeries full = Noisy(3000, 7);
  for (int window : {1, 2, 5, 60, 300}) {
    // Built at once from the whole series.
    ChartSeries once;
    SeriesFollower(SeriesSourceKind::MovingAverage, window).Follow(full, once);
    ExpectSame(DirectAverage(full, window), once, "at once, N=" + std::to_string(window));

    // Followed live: points arrive a few at a time and the oldest are trimmed,
    // as the refresh cycle does; what remains matches the direct calculation
    // over everything seen, from the source's first point on.
    ChartSeries live, out;
    SeriesFollower follower(SeriesSourceKind::MovingAverage, window);
    for (std::size_t i = 0; i < full.Count(); ++i) {
      live.Append(full.Point(i));
      if (live.Count() > 1000) live.DeleteFirst();
      if (i % 3 == 0 || i + 1 == full.Count()) follower.Follow(live, out);
    }
    std::vector<ChartPoint> expected;
    for (const ChartPoint& p : DirectAverage(full, window))
      if (p.x >= live.First().x) expected.push_back(p);
    ExpectSame(expected, out, "live, N=" + std::to_string(window));

    // A clear (a reload) starts it over.
    live.Clear();
    for (std::size_t i = 0; i < 500; ++i) live.Append(full.Point(i));
    follower.Follow(live, out);
    ChartSeries head;
    for (std::size_t i = 0; i < 500; ++i) head.Append(full.Point(i));
    ExpectSame(DirectAverage(head, window), out, "reloaded, N=" + std::to_string(window));
  }
}

TEST(SeriesFunction, LeastSquaresLineSpansEachStretchAndSkipsNulls) {
  struct Case {
    FitScale scale;
    std::vector<ChartPoint> points;
    std::vector<ChartPoint> expected;  // NaN y: a null point, whatever its value
  };
  const double nan = std::nan("");
  const std::vector<Case> cases = {
      // y = 1 + 2x through a null point whose wild value must not count.
      {FitScale::Linear,
       {{0, 1, false}, {1, 3, false}, {2, 99, true}, {3, 7, false}, {4, 9, false}},
       {{0, 1, false}, {1, 3, false}, {2, nan, true}, {3, 7, false}, {4, 9, false}}},
      // A power law is a straight line on log-log axes; a zero cannot count there.
      {FitScale::LogLog,
       {{1, 1e-9, false}, {10, 1e-10, false}, {100, 0, false}, {1000, 1e-12, false}},
       {{1, 1e-9, false}, {1000, 1e-12, false}}},
      // Noise about y = x: the least-squares answer, worked out by hand.
      {FitScale::Linear,
       {{0, 0, false}, {1, 2, false}, {2, 1, false}, {3, 3, false}},
       {{0, 0.3, false}, {3, 2.7, false}}},
      // Fewer than two points, or all at one X: no line.
      {FitScale::Linear, {{5, 1, false}}, {}},
      {FitScale::Linear, {{5, 1, false}, {5, 2, false}}, {}},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    ChartSeries source, out;
    for (const ChartPoint& p : cases[c].points) source.Append(p);
    SeriesFollower(SeriesSourceKind::LeastSquares, 0, cases[c].scale).Follow(source, out);
    ASSERT_EQ(out.Count(), cases[c].expected.size()) << "case " << c;
    for (std::size_t i = 0; i < out.Count(); ++i) {
      const ChartPoint& e = cases[c].expected[i];
      EXPECT_EQ(out.X(i), e.x) << "case " << c << " point " << i;
      EXPECT_EQ(out.IsNull(i), e.isNull) << "case " << c << " point " << i;
      if (!e.isNull) {
        EXPECT_NEAR(out.Y(i), e.y, 1e-9 * std::fabs(e.y)) << "case " << c << " point " << i;
      }
    }
  }
}

TEST(SeriesFunction, WindowMustLieBetweenOneAndTheSourcesCount) {
  EXPECT_NE(WindowProblem(0, 10), "");
  EXPECT_NE(WindowProblem(-3, 10), "");
  EXPECT_NE(WindowProblem(11, 10), "");
  EXPECT_NE(WindowProblem(1, 0), "");
  EXPECT_EQ(WindowProblem(10, 10), "");
  EXPECT_EQ(WindowProblem(1, 10), "");
}

// Two program series (PPS TI, EFC) and the user's series added over them.
struct RosterTest : ::testing::Test {
  RosterTest() {
    pps = Noisy(200, 1);
    for (int i = 0; i < 200; ++i) efc.Add(46000.0 + i * 10.0 / 86400.0, 32768 + i % 7);
    roster.AddProgram(&pps);
    roster.AddProgram(&efc);
  }
  ChartSeries pps, efc;
  SeriesRoster roster;
};

TEST_F(RosterTest, ProgramSeriesStayWhileAddedOnesFollowCloneMoveAndGo) {
  const int ppsId = roster.Id(0);
  // A 60-point average of PPS TI, a least-squares line of that average, and a copy of EFC.
  const int avg = roster.AddUser({SeriesSourceKind::MovingAverage, ppsId, 60});
  ASSERT_EQ(avg, 2);
  const int line = roster.AddUser({SeriesSourceKind::LeastSquares, roster.Id(avg), 0});
  const int copy = roster.AddUser({SeriesSourceKind::Copy, roster.Id(1), 0});
  ASSERT_EQ(roster.Count(), 5);
  ExpectSame(DirectAverage(pps, 60), *roster.Points(avg), "average");
  EXPECT_EQ(roster.Points(copy)->Count(), efc.Count());
  EXPECT_FALSE(roster.Points(line)->Empty());

  // Only added series may go or change their source.
  EXPECT_FALSE(roster.CanDelete(0));
  EXPECT_TRUE(roster.CanDelete(avg));
  EXPECT_FALSE(roster.SetSource(0, {SeriesSourceKind::Copy, roster.Id(1), 0}));

  // Live: new points reach the average (and the line over it) at the next update; the copy stays.
  const std::size_t avgBefore = roster.Points(avg)->Count();
  for (int i = 0; i < 80; ++i) {
    pps.Add(46001.0 + i * 10.0 / 86400.0, 1e-9);
    efc.Add(46001.0 + i * 10.0 / 86400.0, 1);
  }
  roster.Update();
  EXPECT_EQ(roster.Points(avg)->Count(), avgBefore + 80);
  EXPECT_NEAR(roster.Points(avg)->Last().y, 1e-9, 1e-21);
  EXPECT_EQ(roster.Points(line)->Last().x, pps.Last().x);
  EXPECT_EQ(roster.Points(copy)->Count(), 200u);

  // Clones: an added series keeps following its source; one of the program's is a copy.
  const int avgClone = roster.Clone(avg);
  EXPECT_EQ(roster.Source(avgClone), roster.Source(avg));
  const int ppsClone = roster.Clone(0);
  EXPECT_EQ(roster.Source(ppsClone).kind, SeriesSourceKind::Copy);
  EXPECT_EQ(roster.Points(ppsClone)->Count(), pps.Count());
  pps.Add(46002.0, 2e-9);
  roster.Update();
  EXPECT_EQ(roster.Points(avgClone)->Count(), roster.Points(avg)->Count());
  EXPECT_EQ(roster.Points(ppsClone)->Count(), pps.Count() - 1);

  // Reordering keeps each series' id and source.
  const int avgId = roster.Id(avg);
  ASSERT_TRUE(roster.Move(avg, 0));
  EXPECT_EQ(roster.Id(0), avgId);
  EXPECT_EQ(roster.Id(1), ppsId);
  EXPECT_EQ(roster.IndexOf(avgId), 0);
  EXPECT_FALSE(roster.Move(0, roster.Count()));
  ASSERT_TRUE(roster.Move(0, avg));

  // Deleting the average: the line that followed it keeps its points as a copy,
  // and nothing refers to the deleted series any more.
  const std::size_t linePoints = roster.Points(line)->Count();
  const std::vector<int> detached = roster.Remove(avg);
  ASSERT_EQ(detached, std::vector<int>{line - 1});
  EXPECT_EQ(roster.Source(line - 1).kind, SeriesSourceKind::Copy);
  EXPECT_EQ(roster.Source(line - 1).sourceId, -1);
  pps.Add(46003.0, 2e-9);
  roster.Update();
  EXPECT_EQ(roster.Points(line - 1)->Count(), linePoints);
  EXPECT_EQ(roster.IndexOf(avgId), -1);
}

TEST_F(RosterTest, SourcesThatWouldLoopOrCannotServeAreRefused) {
  const int a = roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(0), 5});
  const int b = roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(a), 5});
  const int c = roster.AddUser({SeriesSourceKind::Copy, roster.Id(b), 0});
  // a may not follow b or c (both follow a), nor itself.
  EXPECT_EQ(roster.SourceCandidates(a), (std::vector<int>{0, 1}));
  EXPECT_FALSE(roster.SetSource(a, {SeriesSourceKind::MovingAverage, roster.Id(b), 5}));
  EXPECT_FALSE(roster.SetSource(a, {SeriesSourceKind::LeastSquares, roster.Id(a), 0}));
  EXPECT_EQ(roster.SourceCandidates(c), (std::vector<int>{0, 1, 2, 3}));
  // Windows outside 1..count, and sources that are not there, add nothing.
  const int count = roster.Count();
  EXPECT_EQ(roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(0), 0}), -1);
  EXPECT_EQ(roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(0), 201}), -1);
  EXPECT_EQ(roster.AddUser({SeriesSourceKind::LeastSquares, 999, 0}), -1);
  EXPECT_EQ(roster.AddUser({SeriesSourceKind::Program, roster.Id(0), 0}), -1);
  EXPECT_EQ(roster.Count(), count);
  EXPECT_EQ(roster.AddUser({SeriesSourceKind::MovingAverage, roster.Id(0), 200}), count);
  // The program removing its own series detaches what followed it (a reload of a chart).
  EXPECT_EQ(roster.Remove(0), (std::vector<int>{a - 1, count - 1}));
  EXPECT_EQ(roster.Source(b - 1).sourceId, roster.Id(a - 1));
}

TEST(EditorTree, ListsChartTitlesLegendAxesAndSeriesInOrder) {
  ChartOutline outline;
  outline.axes = {{2, "Bottom axis"}, {0, "Left axis"}, {1, "Right axis"}};
  outline.series = {{"PPS TI", true}, {"EFC", true}, {"", true}, {"PPS TI, 60-point average", false}};
  const std::vector<EditorNode> tree = EditorTree(outline);
  const std::vector<EditorNode> expected = {
      {EditorNodeKind::Chart, -1, "Chart"},
      {EditorNodeKind::Titles, 0, "Titles"},
      {EditorNodeKind::Legend, 0, "Legend"},
      {EditorNodeKind::Axis, 0, "Bottom axis", 2},
      {EditorNodeKind::Axis, 0, "Left axis", 0},
      {EditorNodeKind::Axis, 0, "Right axis", 1},
      {EditorNodeKind::SeriesGroup, 0, "Series"},
      {EditorNodeKind::Series, 6, "PPS TI", -1, 0, true},
      {EditorNodeKind::Series, 6, "EFC", -1, 1, true},
      {EditorNodeKind::Series, 6, "Series 3", -1, 2, true},
      {EditorNodeKind::Series, 6, "PPS TI, 60-point average", -1, 3, false},
  };
  EXPECT_EQ(tree, expected);
  EXPECT_EQ(AddedSeriesTitle({SeriesSourceKind::MovingAverage, 1, 60}, "PPS TI"), "PPS TI, 60-point average");
  EXPECT_EQ(DetachedTitle("A"), "A (copy, source deleted)");
}

}  // namespace
