#include <gtest/gtest.h>

#include "analysis/CurveFit.h"
#include "analysis/DriftStatistics.h"
#include "charting/ChartSeries.h"

namespace {

TEST(DriftStatisticsTest, FieldTexts) {
  struct Case {
    double value;
    const char* point;
    const char* scientific;
    const char* general;
  };
  const Case cases[] = {
      {12345.6, ".", "1.235E+04", "12345.6"},
      {2.5e-12, ".", "2.500E-12", "2.5E-12"},
      {-0.000123456, ",", "-1,235E-04", "-0,000123456"},
      {0.0, ".", "0.000E+00", "0"},
      {1.0, ".", "1.000E+00", "1"},
      {0.999999999999998, ".", "1.000E+00", "0.999999999999998"},
      {0.25, ",", "2,500E-01", "0,25"},
      {1e100, ".", "1.000E+100", "1E100"},
      {1.5e-7, ".", "1.500E-07", "1.5E-7"},
      {41230.5, ".", "4.123E+04", "41230.5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScientificField(c.value, c.point), c.scientific) << c.value;
    EXPECT_EQ(GeneralField(c.value, c.point), c.general) << c.value;
  }
}

// EFC rising 2.5 units a day, on real dates, with wild values outside the interval
// and on its bounds that would spoil the statistics if they took part.
TEST(DriftStatisticsTest, FitsThePointsStrictlyInsideTheIntervalAndDrawsTheLineOverTheWholeSeries) {
  ChartSeries efc("EFC");
  const double t0 = 56500.0;
  for (int i = 0; i <= 20; ++i) {
    const double x = t0 + i * 0.1;
    const double y = (i <= 5 || i >= 15) ? 90000.0 - i * 1000 : 32000.0 + 2.5 * (x - t0);
    if (i == 10)
      efc.AddNull(x, y);  // null points count
    else
      efc.Add(x, y);
  }
  TCurveFit fit;
  const DriftResult r = ComputeDrift(efc, efc.X(5), efc.X(15), EfcScale(1.0, -12), ".", fit);
  ASSERT_TRUE(r.Fitted);
  EXPECT_EQ(fit.PointCount(), 9u);
  EXPECT_DOUBLE_EQ(r.Min, 32000.0 + 2.5 * 0.6);
  EXPECT_DOUBLE_EQ(r.Max, 32000.0 + 2.5 * 1.4);
  EXPECT_NEAR(r.Slope, 2.5, 1e-6);
  EXPECT_EQ(r.Fields[4], "2.500E+00");
  EXPECT_EQ(r.Fields[5], "2.500E-12");
  EXPECT_EQ(r.Fields[0], "3.200E+04");
  EXPECT_EQ(r.Fields[2], "3.200E-08");
  EXPECT_NEAR(r.Qof, 1.0, 1e-9);
  EXPECT_DOUBLE_EQ(r.LineX0, t0);
  EXPECT_DOUBLE_EQ(r.LineX1, t0 + 2.0);
  EXPECT_NEAR(r.LineY0, 32000.0, 1e-6);
  EXPECT_NEAR(r.LineY1, 32005.0, 1e-6);

  // The user's scale: one unit is 2.5e-11.
  const DriftResult scaled = ComputeDrift(efc, efc.X(5), efc.X(15), EfcScale(2.5, -11), ",", fit);
  EXPECT_EQ(scaled.Fields[5], "6,250E-11");
}

TEST(DriftStatisticsTest, FlatEfcAndTooFewPoints) {
  ChartSeries efc("EFC");
  for (int i = 0; i < 50; ++i) efc.Add(56500.0 + i / 8640.0, 32768.0);
  TCurveFit fit;
  const DriftResult flat = ComputeDrift(efc, 0.0, 1e9, 1e-12, ".", fit);
  ASSERT_TRUE(flat.Fitted);
  EXPECT_EQ(flat.Fields[4], "0.000E+00");
  EXPECT_EQ(flat.Fields[6], "1");
  EXPECT_DOUBLE_EQ(flat.LineY0, 32768.0);

  // One point strictly inside: no fit and no texts.
  const DriftResult one = ComputeDrift(efc, efc.X(9), efc.X(11), 1e-12, ".", fit);
  EXPECT_FALSE(one.Fitted);
  EXPECT_TRUE(one.Fields[0].empty());
  EXPECT_FALSE(ComputeDrift(ChartSeries{}, 0.0, 1e9, 1e-12, ".", fit).Fitted);
}

}  // namespace
