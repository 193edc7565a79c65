#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "TestApp.h"
#include "charting/ui/BarChart.h"
#include "charting/ui/LogLogChart.h"
#include "charting/ui/PolarChart.h"

namespace {

void Click(QWidget* widget, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QApplication::sendEvent(widget, &release);
}

struct Measure {
  const char* title;
  QColor color;
  PointStyle style;
  double scale;
};

const Measure kMeasures[] = {{"ADEV", QColor(220, 30, 30), PointStyle::Circle, 1.0},
                             {"MDEV", QColor(30, 110, 220), PointStyle::Square, 0.7},
                             {"TDEV", QColor(20, 150, 60), PointStyle::Triangle, 0.05},
                             {"MTIE", QColor(140, 60, 180), PointStyle::Diamond, 3.0}};

void FillStability(TLogLogChart& chart) {
  for (const Measure& m : kMeasures) {
    int s = chart.AddSeries(m.title, m.color, m.style);
    for (double tau = 10; tau <= 1e5; tau *= 2) chart.AddPoint(s, tau, m.scale * 3e-9 * std::pow(tau, -0.8));
  }
}

TEST(LogLogChart, KeepsOnlyPointsALogAxisCanShow) {
  TestApp();
  TLogLogChart chart;
  int s = chart.AddSeries("ADEV", Qt::red, PointStyle::Circle);
  chart.AddPoint(s, 10, 1e-9);
  chart.AddPoint(s, 0, 1e-9);
  chart.AddPoint(s, 20, -1e-9);
  chart.AddPoint(s, 40, std::nan(""));
  chart.AddPoint(s, 80, 2e-10);
  ASSERT_EQ(chart.PointCount(s), 2);
  EXPECT_DOUBLE_EQ(chart.PointX(s, 1), 80);
  EXPECT_DOUBLE_EQ(chart.PointY(s, 1), 2e-10);
  chart.ClearSeries(s);
  EXPECT_EQ(chart.PointCount(s), 0);
}

TEST(LogLogChart, AxesSpanWholeDecadesOfShownSeries) {
  TestApp();
  TLogLogChart chart;
  chart.resize(649, 400);
  int a = chart.AddSeries("ADEV", Qt::red, PointStyle::Circle);
  int b = chart.AddSeries("MTIE", Qt::blue, PointStyle::Square);
  chart.AddPoint(a, 10, 3e-10);
  chart.AddPoint(a, 5000, 2e-12);
  chart.AddPoint(b, 20, 4e-8);
  chart.Replot();
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Bottom), 10);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Bottom), 10000);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Left), 1e-7);
  chart.SetSeriesVisible(b, false);
  chart.Replot();
  EXPECT_NEAR(chart.AxisMax(AxisSide::Left), 1e-9, 1e-24);
  EXPECT_NEAR(chart.AxisMin(AxisSide::Left), 1e-12, 1e-27);
}

TEST(LogLogChart, LegendCheckBoxSwitchesMeasure) {
  TestApp();
  TLogLogChart chart;
  chart.resize(649, 400);
  FillStability(chart);
  chart.SetLegendTitle("Available measures");
  chart.show();
  chart.Replot();
  const QRect item = chart.LegendItemRect(2);
  ASSERT_FALSE(item.isEmpty());
  // The legend stands beside the plot, not over it.
  EXPECT_GE(item.left(), chart.Plot()->axisRect()->outerRect().right());
  Click(chart.Plot(), item.center());
  EXPECT_FALSE(chart.SeriesVisible(2));
  Click(chart.Plot(), chart.LegendItemRect(2).center());
  EXPECT_TRUE(chart.SeriesVisible(2));
  EXPECT_FALSE(chart.LegendRect().isEmpty());
}

TEST(LogLogChart, GrabPicture) {
  TestApp();
  TLogLogChart chart;
  chart.resize(649, 400);
  FillStability(chart);
  chart.SetLegendTitle("Available measures");
  chart.SetAxisNumberFormat(AxisSide::Left, "0 \"x 10\" E+0");
  chart.SetAxisTitle(AxisSide::Left, QString::fromUtf8("σ(τ)"));
  chart.SetAxisTitle(AxisSide::Bottom, QString::fromUtf8("τ / s"));
  chart.SetSeriesVisible(1, false);
  chart.Replot();
  const QVector<QString> labels = chart.Plot()->yAxis->tickVectorLabels();
  ASSERT_FALSE(labels.isEmpty());
  EXPECT_TRUE(labels.front().startsWith("1e-")) << labels.front().toStdString();
  EXPECT_TRUE(chart.grab().save(PicturePath("loglog.png")));
}

TEST(BarChart, BarsInOrderWithLabels) {
  TestApp();
  TBarChart chart;
  chart.resize(523, 339);
  chart.show();
  chart.AddBar(42, "PRN 7");
  chart.AddBar(38, "PRN 12");
  chart.Replot();
  ASSERT_EQ(chart.BarCount(), 2);
  EXPECT_DOUBLE_EQ(chart.BarValue(1), 38);
  EXPECT_EQ(chart.BarLabel(1), "PRN 12");
  EXPECT_EQ(chart.Plot()->itemCount(), 2);
  // Automatic range starts at zero so the bars keep their proportions.
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Left), 0);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Left), 42);
  const QPoint inBar(int(chart.Plot()->xAxis->coordToPixel(1)), int(chart.Plot()->yAxis->coordToPixel(20)));
  EXPECT_TRUE(chart.TipTextAt(inBar).contains("PRN 12"));
  EXPECT_TRUE(chart.TipTextAt(QPoint(int(chart.Plot()->xAxis->coordToPixel(0.5)), inBar.y())).isEmpty());
  chart.Clear();
  EXPECT_EQ(chart.BarCount(), 0);
  EXPECT_EQ(chart.Plot()->itemCount(), 0);
  chart.SetAxisRange(AxisSide::Left, 0, 60);
  chart.AddBar(75, "PRN 1");  // beyond a fixed range: the range stays
  chart.Replot();
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Left), 60);
}

TEST(BarChart, GrabPicture) {
  TestApp();
  TBarChart chart;
  chart.resize(523, 339);
  chart.SetTitle("Satellite C/N Chart");
  chart.SetAxisTitle(AxisSide::Left, "Satellite C/N in receiver specific units");
  const int prn[] = {2, 5, 7, 12, 13, 15, 20, 24, 29};
  const int cn[] = {44, 38, 47, 41, 35, 49, 43, 30, 46};
  for (int i = 0; i < 9; ++i) chart.AddBar(cn[i], "PRN " + QString::number(prn[i]));
  chart.Replot();
  EXPECT_TRUE(chart.grab().save(PicturePath("bars.png")));
}

TEST(PolarChart, NorthUpClockwiseZenithAtCentre) {
  TestApp();
  TPolarChart chart;
  chart.resize(401, 389);
  const QPointF centre = chart.ToPixel(0, 90);
  const QPointF north = chart.ToPixel(0, 0);
  const QPointF east = chart.ToPixel(90, 0);
  const QPointF south = chart.ToPixel(180, 45);
  EXPECT_NEAR(north.x(), centre.x(), 1e-9);
  EXPECT_LT(north.y(), centre.y());
  EXPECT_GT(east.x(), centre.x());
  EXPECT_NEAR(east.y(), centre.y(), 1e-9);
  EXPECT_GT(south.y(), centre.y());
  // Elevation 45 lies halfway to the rim.
  EXPECT_NEAR(south.y() - centre.y(), (centre.y() - north.y()) / 2, 1e-9);
  EXPECT_NEAR(centre.x(), 200.5, 1.0);  // a true circle, centred
}

TEST(PolarChart, PointsHorizonAndTips) {
  TestApp();
  TPolarChart chart;
  chart.resize(401, 389);
  chart.AddPoint(45, 30, "PRN: 7 C/N: 42");
  chart.AddPoint(200, 70, "PRN: 12 C/N: 38");
  ASSERT_EQ(chart.PointCount(), 2);
  EXPECT_EQ(chart.TipTextAt(chart.ToPixel(45, 30).toPoint()), "PRN: 7 C/N: 42");
  EXPECT_EQ(chart.TipTextAt((chart.ToPixel(200, 70) + QPointF(2, 1)).toPoint()), "PRN: 12 C/N: 38");
  EXPECT_TRUE(chart.TipTextAt(chart.ToPixel(120, 10).toPoint()).isEmpty());
  chart.ClearPoints();
  EXPECT_EQ(chart.PointCount(), 0);
  chart.SetHorizonElevation(359, 12);
  chart.SetHorizonElevation(360, 50);  // outside: ignored
  EXPECT_DOUBLE_EQ(chart.HorizonElevation(359), 12);
  chart.SetHorizon(std::vector<double>(360, 90.0));
  EXPECT_DOUBLE_EQ(chart.HorizonElevation(0), 90);
}

TEST(PolarChart, GrabPicture) {
  TestApp();
  TPolarChart chart;
  chart.resize(401, 389);
  std::vector<double> horizon(360);
  for (int k = 0; k < 360; ++k) horizon[k] = 8 + 6 * std::sin(k * 3.14159 / 45) + (k > 200 && k < 250 ? 20 : 0);
  chart.SetHorizon(horizon);
  const int az[] = {45, 120, 200, 300, 10, 250};
  const int el[] = {30, 65, 70, 15, 50, 40};
  for (int i = 0; i < 6; ++i) chart.AddPoint(az[i], el[i], "PRN: " + QString::number(i + 1));
  QImage image(chart.size(), QImage::Format_ARGB32);
  QPainter painter(&image);
  chart.Render(&painter, image.rect());
  painter.end();
  // The horizon is drawn in blue, the satellites in orange.
  const QPoint sat = chart.ToPixel(120, 65).toPoint();
  EXPECT_EQ(image.pixelColor(sat).red(), 255);
  EXPECT_EQ(image.pixelColor(sat).green(), 128);
  EXPECT_TRUE(chart.grab().save(PicturePath("polar.png")));
}

}  // namespace
