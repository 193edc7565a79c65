#include <gtest/gtest.h>

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
