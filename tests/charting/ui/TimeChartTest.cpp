#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QMouseEvent>
#include <QPrinter>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>

#include "TestApp.h"
#include "charting/AxisFormat.h"
#include "charting/ui/TimeChart.h"

namespace {

// The plotted copy must hold exactly the model's points, NaN where a point is null.
void ExpectMirrors(const TTimeChart& chart, int index, const ChartSeries& model) {
  ASSERT_EQ(chart.PlottedCount(index), static_cast<int>(model.Count()));
  for (std::size_t i = 0; i < model.Count(); ++i) {
    const int k = static_cast<int>(i);
    EXPECT_DOUBLE_EQ(chart.PlottedX(index, k), model.X(i)) << "point " << i;
    if (model.IsNull(i))
      EXPECT_TRUE(std::isnan(chart.PlottedY(index, k))) << "point " << i;
    else
      EXPECT_DOUBLE_EQ(chart.PlottedY(index, k), model.Y(i)) << "point " << i;
  }
}

struct SyncCase {
  const char* name;
  std::function<void(ChartSeries&, int& next)> change;
};

void AddPoints(ChartSeries& s, int& next, int n) {
  for (int i = 0; i < n; ++i, ++next) {
    if (next % 7 == 3)
      s.AddNull(next, next * 0.5);
    else
      s.Add(next, next * 0.5);
  }
}

class TimeChartSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(TimeChartSync, CopyFollowsModel) {
  TestApp();
  TTimeChart chart;
  ChartSeries model;
  int next = 0;
  AddPoints(model, next, 20);
  int index = chart.AddSeries(&model, AxisSide::Left, Qt::blue, "PPS TI");
  chart.Sync();
  ExpectMirrors(chart, index, model);
  GetParam().change(model, next);
  chart.Sync();
  ExpectMirrors(chart, index, model);
  // A second change after the first sync goes incremental again.
  AddPoints(model, next, 3);
  model.DeleteFirst();
  chart.Sync();
  ExpectMirrors(chart, index, model);
}

INSTANTIATE_TEST_SUITE_P(Changes, TimeChartSync,
                         ::testing::Values(SyncCase{"AppendOnly", [](ChartSeries& s, int& n) { AddPoints(s, n, 5); }},
                                           SyncCase{"DeleteOnly",
                                                    [](ChartSeries& s, int&) {
                                                      for (int i = 0; i < 4; ++i) s.DeleteFirst();
                                                    }},
                                           SyncCase{"AppendAndDelete",
                                                    [](ChartSeries& s, int& n) {
                                                      AddPoints(s, n, 3);
                                                      s.DeleteFirst();
                                                      s.DeleteFirst();
                                                    }},
                                           // more deleted than the copy held: new points were deleted too
                                           SyncCase{"DeleteBeyondCopy",
                                                    [](ChartSeries& s, int& n) {
                                                      AddPoints(s, n, 5);
                                                      for (int i = 0; i < 22; ++i) s.DeleteFirst();
                                                    }},
                                           SyncCase{"DeleteAll",
                                                    [](ChartSeries& s, int&) {
                                                      while (!s.Empty()) s.DeleteFirst();
                                                    }},
                                           SyncCase{"ClearAndRefill",
                                                    [](ChartSeries& s, int& n) {
                                                      s.Clear();
                                                      AddPoints(s, n, 4);
                                                    }},
                                           // a clock set back: points go to their place, then more follow
                                           SyncCase{"InsertBeforeTheEnd",
                                                    [](ChartSeries& s, int& n) {
                                                      AddPoints(s, n, 2);
                                                      s.InsertPoint(3.5, -1.0, false);
                                                      s.InsertPoint(0.5, -2.0, true);
                                                      s.DeleteFirst();
                                                      AddPoints(s, n, 2);
                                                    }},
                                           SyncCase{"BulkLoad",
                                                    [](ChartSeries& s, int& n) {
                                                      s.BeginUpdate();
                                                      s.Clear();
                                                      AddPoints(s, n, 30);
                                                      s.EndUpdate();
                                                    }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimeChart, SyncWaitsForBulkLoadToEnd) {
  TestApp();
  TTimeChart chart;
  ChartSeries model;
  int next = 0;
  AddPoints(model, next, 5);
  int index = chart.AddSeries(&model, AxisSide::Right, Qt::red, "EFC");
  model.BeginUpdate();
  model.Clear();
  AddPoints(model, next, 2);
  chart.Sync();
  EXPECT_EQ(chart.PlottedCount(index), 5);  // still the old picture
  model.EndUpdate();
  chart.Sync();
  ExpectMirrors(chart, index, model);
}

TEST(TimeChart, LongRunningWindowStaysInStep) {
  // Many ticks of append-one/delete-one, as the refresh cycle does.
  TestApp();
  TTimeChart chart;
  ChartSeries model;
  int next = 0;
  AddPoints(model, next, 3000);
  int index = chart.AddSeries(&model, AxisSide::Left, Qt::blue, "PPS TI");
  std::mt19937 rng(7);
  for (int tick = 0; tick < 5000; ++tick) {
    AddPoints(model, next, static_cast<int>(rng() % 3));
    for (unsigned d = rng() % 3; d > 0; --d) model.DeleteFirst();
    if (tick % 3 == 0) chart.Sync();
  }
  chart.Sync();
  ExpectMirrors(chart, index, model);
}

TEST(TimeChart, FitLineAndRemovalByTitle) {
  TestApp();
  TTimeChart chart;
  ChartSeries efc;
  efc.Add(1, 10);
  chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
  int fit = chart.AddFitLine("EFC Linear Fit", AxisSide::Right, Qt::darkGreen, 1, 10, 2, 12);
  EXPECT_EQ(chart.PlottedCount(fit), 2);
  EXPECT_EQ(chart.Model(fit), nullptr);
  chart.Sync();  // a line without a model is left alone
  EXPECT_EQ(chart.PlottedCount(fit), 2);
  chart.AddFitLine("EFC Linear Fit", AxisSide::Right, Qt::darkGreen, 1, 11, 2, 13);
  EXPECT_EQ(chart.RemoveSeriesTitled("EFC Linear Fit"), 2);
  ASSERT_EQ(chart.SeriesCount(), 1);
  EXPECT_EQ(chart.SeriesTitle(0), "EFC");
  efc.Add(2, 11);
  chart.Sync();
  ExpectMirrors(chart, 0, efc);
}

TEST(TimeChart, AutomaticRangeCoversDataInsideExtent) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps, efc;
  pps.Add(100.0, -1e-9);
  pps.AddNull(100.5, 50.0);  // a null point's value must not stretch the axis
  pps.Add(101.0, 3e-9);
  efc.Add(100.0, 32768);
  efc.Add(101.0, 32770);
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
  chart.SetAxisRange(AxisSide::Right, 0, 16);
  chart.Replot();
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Bottom), 100.0);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Bottom), 101.0);
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Left), -1e-9);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Left), 3e-9);
  // Data fills 2 %..98 % of the bottom axis.
  const QCPRange shown = chart.Plot()->xAxis->range();
  EXPECT_NEAR((100.0 - shown.lower) / shown.size(), 0.02, 1e-9);
  EXPECT_NEAR((101.0 - shown.lower) / shown.size(), 0.98, 1e-9);
  // The fixed right axis ignores the data.
  EXPECT_FALSE(chart.AxisAutomatic(AxisSide::Right));
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Right), 0);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Right), 16);
  chart.SetAxisAutomatic(AxisSide::Right, true);
  chart.Replot();
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Right), 32770);
}

TEST(TimeChart, SingleMomentKeepsTimeAxisToMinutes) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps;
  const double t = 45000.5;  // right after start: a null point, then one ordinary point
  pps.AddNull(t - 10.0 / 86400.0, 1e-9);
  pps.Add(t, 2e-9);
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.Replot();
  const double span = chart.AxisMax(AxisSide::Bottom) - chart.AxisMin(AxisSide::Bottom);
  EXPECT_GT(span, 0.0);
  EXPECT_LE(span, 15.0 / 1440.0);  // minutes, not months
  EXPECT_LT(chart.AxisMin(AxisSide::Bottom), t);
  EXPECT_GT(chart.AxisMax(AxisSide::Bottom), t);
}

TEST(TimeChart, PointBetweenGapsIsMarked) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps;
  const QColor colour(10, 200, 30);
  auto countColour = [&] {
    const QImage image = chart.grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == colour;
    return n;
  };
  chart.AddSeries(&pps, AxisSide::Left, colour, "PPS TI");
  pps.AddNull(45000.0, 1e-9);
  chart.Replot();
  EXPECT_EQ(countColour(), 0);  // a null point alone draws nothing
  pps.Add(45000.0 + 10.0 / 86400.0, 2e-9);
  chart.Replot();
  EXPECT_GT(countColour(), 0);
}

// Lines flat over hours are drawn in their full colour across the whole plot, not
// smeared at half strength over two pixel rows; a sloped line too.
TEST(TimeChart, FlatLinesKeepTheirFullColour) {
  TestApp();
  struct Case {
    const char* name;
    AxisSide side;
    QColor colour;
    std::function<double(int)> value;
  } cases[] = {
      {"HUD, flat", AxisSide::Left, QColor(0, 0, 255), [](int) { return 0.63e-6; }},
      {"Sats, flat", AxisSide::Right, QColor(255, 128, 0), [](int i) { return i < 40000 ? 7.0 : 9.0; }},
      {"rising", AxisSide::Left, QColor(0, 160, 60), [](int i) { return 0.5e-6 + i * 1e-12; }},
  };
  for (const Case& c : cases) {
    TTimeChart chart;
    chart.resize(748, 406);
    chart.SetAxisVisible(AxisSide::Right, true);
    chart.SetAxisRange(AxisSide::Right, 0, 16);
    ChartSeries series;
    for (int i = 0; i < 86400; ++i) series.Add(45000.0 + i * 10.0 / 86400.0, c.value(i));
    chart.AddSeries(&series, c.side, c.colour, c.name);
    chart.Replot();
    const QImage image = chart.grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == c.colour;
    const int plotWidth = chart.Plot()->axisRect()->width();
    EXPECT_GE(n, plotWidth * 9 / 10) << c.name << ": " << n << " pixels in a plot " << plotWidth << " wide";
  }
}

// Before the first point the time axis shows the span ending now, not day zero.
TEST(TimeChart, EmptyChartShowsTheSpanEndingNow) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps;
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.Replot();
  const double utcNow = QDateTime::currentDateTimeUtc().toMSecsSinceEpoch() / 86400000.0 + 25569.0;
  EXPECT_NEAR(chart.AxisMax(AxisSide::Bottom), utcNow, 1.0 / 1440);  // by default: one day up to now
  EXPECT_NEAR(chart.AxisMin(AxisSide::Bottom), utcNow - 1.0, 1.0 / 1440);

  const double now = 45000.25;
  chart.SetEmptySpan([&] { return now; }, [] { return 14400 / 1440.0; });
  chart.Replot();
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Bottom), now);
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Bottom), now - 10.0);
  // The first point takes over.
  pps.AddNull(now + 1.0, 1e-9);
  pps.Add(now + 1.0 + 10.0 / 86400.0, 2e-9);
  chart.Replot();
  EXPECT_GT(chart.AxisMin(AxisSide::Bottom), now + 0.9);
}

TEST(TimeChart, TickLabelsFollowFormats) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps, efc;
  TDateTime start = EncodeDateTime({2026, 3, 7, 0, 0, 0, 0});
  for (int i = 0; i <= 8640; ++i) {
    pps.Add(start + i * 10 * OneSecond, 1e-9 * std::sin(i / 500.0));
    efc.Add(start + i * 10 * OneSecond, 32768 + 0.25 * std::cos(i / 700.0));
  }
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
  chart.SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
  chart.SetAxisNumberFormat(AxisSide::Right, "0");
  chart.Replot();
  QVector<QString> bottom = chart.Plot()->xAxis->tickVectorLabels();
  ASSERT_FALSE(bottom.isEmpty());
  EXPECT_TRUE(bottom.contains("03-07 12:00")) << bottom.join(" | ").toStdString();
  QVector<QString> left = chart.Plot()->yAxis->tickVectorLabels();
  ASSERT_FALSE(left.isEmpty());
  for (const QString& label : left) {
    // "m.mme-9" (typeset as m.mm×10^-9 by the axis) or a plain 0.
    EXPECT_TRUE(label == "0" || QRegularExpression("^-?\\d\\.\\d\\de-\\d+$").match(label).hasMatch())
        << label.toStdString();
  }
  // Whole numbers only: no two labels alike when the range is a fraction of a unit.
  QVector<QString> right = chart.Plot()->yAxis2->tickVectorLabels();
  for (int i = 1; i < right.size(); ++i) EXPECT_NE(right[i], right[i - 1]);
  chart.SetAxisNumberFormat(AxisSide::Right, "0.000000");
  chart.Replot();
  right = chart.Plot()->yAxis2->tickVectorLabels();
  ASSERT_FALSE(right.isEmpty());
  EXPECT_TRUE(right.front().contains(QRegularExpression("^327\\d\\d\\.\\d{6}$"))) << right.front().toStdString();
}

TEST(TimeChart, LegendCheckBoxTogglesSeries) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries a, b;
  for (int i = 0; i < 10; ++i) a.Add(i, i), b.Add(i, -i);
  chart.AddSeries(&a, AxisSide::Left, Qt::blue, "A");
  chart.AddSeries(&b, AxisSide::Left, Qt::red, "B");
  chart.SetLegendCheckBoxes(true);
  chart.SetLegendVisible(true);
  chart.show();
  chart.Replot();
  std::vector<std::pair<int, bool>> changes;
  QObject::connect(&chart, &TChartBase::SeriesVisibilityChanged,
                   [&](int index, bool visible) { changes.emplace_back(index, visible); });
  QRect rect = chart.LegendItemRect(1);
  ASSERT_FALSE(rect.isEmpty());
  auto click = [&](QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, chart.Plot()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, chart.Plot()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(chart.Plot(), &press);
    QApplication::sendEvent(chart.Plot(), &release);
  };
  click(rect.center());
  EXPECT_FALSE(chart.SeriesVisible(1));
  EXPECT_TRUE(chart.SeriesVisible(0));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], std::make_pair(1, false));
  // The hidden series no longer stretches the left axis.
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Left), 0.0);
  // It stays in the legend so it can be switched back on.
  EXPECT_FALSE(chart.LegendItemRect(1).isEmpty());
  click(chart.LegendItemRect(1).center());
  EXPECT_TRUE(chart.SeriesVisible(1));
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Left), -9.0);
}

TEST(TimeChart, LegendWithoutCheckBoxesListsShownSeriesOnly) {
  TestApp();
  TTimeChart chart;
  ChartSeries a;
  a.Add(0, 1);
  chart.AddSeries(&a, AxisSide::Left, Qt::blue, "A");
  chart.AddFitLine("Fit", AxisSide::Left, Qt::green, 0, 1, 1, 2);
  chart.SetLegendVisible(true);
  chart.Replot();
  EXPECT_EQ(chart.Plot()->legend->itemCount(), 2);
  chart.SetSeriesVisible(0, false);
  EXPECT_EQ(chart.Plot()->legend->itemCount(), 1);
  chart.SetLegendVisible(false);
  EXPECT_TRUE(chart.LegendItemRect(1).isEmpty());
}

TEST(TimeChart, TipNamesNearestPointAndSkipsNulls) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps;
  TDateTime t0 = EncodeDateTime({2026, 3, 7, 12, 0, 0, 0});
  pps.Add(t0, 1.5e-9);
  pps.AddNull(t0 + 0.5, 2e-9);
  pps.Add(t0 + 1, -1e-9);
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
  chart.show();
  chart.Replot();
  QCustomPlot* plot = chart.Plot();
  QPoint at(int(plot->xAxis->coordToPixel(t0)) + 2, int(plot->yAxis->coordToPixel(1.5e-9)) - 1);
  QString tip = chart.TipTextAt(at);
  EXPECT_TRUE(tip.contains("PPS TI"));
  EXPECT_TRUE(tip.contains("2026-03-07 12:00:00")) << tip.toStdString();
  EXPECT_TRUE(tip.contains("1.50")) << tip.toStdString();
  EXPECT_TRUE(tip.contains("<sup>-9</sup>")) << tip.toStdString();
  QPoint atNull(int(plot->xAxis->coordToPixel(t0 + 0.5)), int(plot->yAxis->coordToPixel(2e-9)));
  EXPECT_TRUE(chart.TipTextAt(atNull).isEmpty());
  EXPECT_TRUE(chart.TipTextAt(QPoint(5, 5)).isEmpty());
}

TEST(TimeChart, PrintsToPdf) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps;
  for (int i = 0; i < 100; ++i) pps.Add(i * 0.01, std::sin(i * 0.1));
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.SetTitle("PPS TI & EFC");
  chart.Replot();
  QString file = PicturePath("timechart-print.pdf");
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  PrintChart(chart.Plot(), &printer);
  EXPECT_GT(std::filesystem::file_size(file.toStdString()), 2000u);
}

// A day of fake receiver data with two gaps, for looking at.
TEST(TimeChart, GrabMainChartPicture) {
  TestApp();
  TTimeChart chart;
  chart.resize(841, 447);
  ChartSeries pps("PPS TI"), efc("EFC");
  std::mt19937 rng(42);
  std::normal_distribution<double> noise(0.0, 1.0);
  TDateTime start = EncodeDateTime({2026, 3, 7, 8, 0, 0, 0});
  double wander = 0;
  for (int i = 0; i < 8640; ++i) {
    TDateTime t = start + i * 10 * OneSecond;
    wander += noise(rng) * 0.02;
    double ti = (1.2 * std::sin(i / 900.0) + 0.12 * noise(rng) + wander * 0.1) * 1e-9;
    double e = 41230 + 18 * std::sin(i / 2500.0) + 0.6 * noise(rng);
    bool gap = (i >= 2000 && i < 2300) || (i >= 6000 && i < 6100);
    if (gap) continue;
    bool afterGap = i == 0 || i == 2300 || i == 6100;
    if (afterGap) {
      pps.AddNull(t, ti);
      efc.AddNull(t, e);
    } else {
      pps.Add(t, ti);
      efc.Add(t, e);
    }
  }
  chart.SetTitle("PPS TI & EFC");
  chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
  chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
  chart.SetAxisTitle(AxisSide::Left, "PPS TI / s", Qt::blue);
  chart.SetAxisTitle(AxisSide::Right, "EFC value", Qt::red);
  chart.SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
  chart.SetAxisNumberFormat(AxisSide::Right, "0");
  chart.Replot();
  QImage image = chart.grab().toImage();
  EXPECT_EQ(image.size(), QSize(841, 447));
  EXPECT_TRUE(image.save(PicturePath("timechart.png")));
  // Legend shown too, for a second look.
  chart.SetLegendVisible(true);
  chart.AddFitLine("EFC Linear Fit", AxisSide::Right, QColor(0, 140, 70), start, 41225, start + 1, 41240);
  chart.Replot();
  EXPECT_TRUE(chart.grab().toImage().save(PicturePath("timechart-legend.png")));
}

}  // namespace
