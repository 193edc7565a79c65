#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "charting/ChartSeries.h"

TEST(ChartSeries, KeepsNullPointsReadable) {
  ChartSeries s("PPS TI");
  s.AddNull(1.0, 5e-9);
  s.Add(2.0, 6e-9);
  ASSERT_EQ(s.Count(), 2u);
  EXPECT_TRUE(s.IsNull(0));
  EXPECT_DOUBLE_EQ(s.Y(0), 5e-9);
  EXPECT_DOUBLE_EQ(s.X(0), 1.0);
  EXPECT_FALSE(s.IsNull(1));
  EXPECT_DOUBLE_EQ(s.Last().y, 6e-9);
}

TEST(ChartSeries, CountersTrackAppendDeleteAndClear) {
  ChartSeries s;
  for (int i = 0; i < 5; ++i) s.Add(i, i * 10);
  s.DeleteFirst();
  s.DeleteFirst();
  EXPECT_EQ(s.Appended(), 5u);
  EXPECT_EQ(s.DeletedFront(), 2u);
  EXPECT_EQ(s.Generation(), 0u);
  EXPECT_DOUBLE_EQ(s.First().x, 2.0);
  EXPECT_EQ(s.Count(), 3u);

  s.Clear();
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.Generation(), 1u);
  s.DeleteFirst();  // empty: nothing happens
  EXPECT_EQ(s.DeletedFront(), 2u);
}

TEST(ChartSeries, BulkUpdateEndsWithOneNewGeneration) {
  ChartSeries s;
  s.BeginUpdate();
  s.BeginUpdate();
  s.Add(1, 1);
  EXPECT_TRUE(s.Updating());
  s.EndUpdate();
  EXPECT_EQ(s.Generation(), 0u);
  s.EndUpdate();
  EXPECT_FALSE(s.Updating());
  EXPECT_EQ(s.Generation(), 1u);
  s.EndUpdate();  // unbalanced end is ignored
  EXPECT_EQ(s.Generation(), 1u);
}

TEST(ChartSeries, InsertKeepsTimeOrderAndTellsTheViewsWhenItIsNoAppend) {
  struct Step {
    double x;
    bool rebuilds;  // goes before the end, so a view must rebuild its copy
  };
  const Step steps[] = {{10, false}, {20, false}, {30, false}, {5, true},  {25, true},
                        {30, false}, {20, true},  {40, false}, {-1, true}, {40, false}};
  ChartSeries s;
  int serial = 0;
  for (const Step& step : steps) {
    const auto generation = s.Generation();
    const auto appended = s.Appended();
    ++serial;
    s.InsertPoint(step.x, serial, serial % 2 == 0);
    EXPECT_EQ(s.Generation() != generation, step.rebuilds) << step.x;
    EXPECT_EQ(s.Appended() != appended, !step.rebuilds) << step.x;
  }
  ASSERT_EQ(s.Count(), std::size(steps));
  for (std::size_t i = 1; i < s.Count(); ++i) EXPECT_LE(s.X(i - 1), s.X(i)) << i;
  // Points of equal time keep the order they came in: 20 (serial 2) before 20 (serial 7).
  const std::vector<double> serials = {9, 4, 1, 2, 7, 5, 3, 6, 8, 10};
  for (std::size_t i = 0; i < s.Count(); ++i) EXPECT_EQ(s.Y(i), serials[i]) << i;
  EXPECT_EQ(s.IsNull(1), true);  // serial 4 was added as a null point
}
