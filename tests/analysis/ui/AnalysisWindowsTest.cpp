#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "analysis/ui/DriftUnit.h"
#include "analysis/ui/EFCUnit.h"
#include "analysis/ui/StatChart.h"
#include "analysis/ui/StatUnit.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/TimeChart.h"
#include "frontend/DataFile.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

const TDateTime kStart = EncodeDateTime({2013, 8, 1, 0, 0, 0, 0});

QString PicturePath(const char* file) {
  const auto dir = std::filesystem::temp_directory_path() / "varnex-pictures";
  std::filesystem::create_directories(dir);
  return QString::fromStdString((dir / file).string());
}

// PPS TI of a disciplined oscillator: white phase noise on a slow wander, a null
// point at every gap.
void FillPpsTi(ChartSeries& s, int count, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  double walk = 0.0;
  for (int i = 0; i < count; ++i) {
    walk += 0.02e-9 * noise(rng);
    const double y = 3e-9 * noise(rng) + walk + 2e-9 * std::sin(i / 4000.0);
    const double t = kStart + i * 10 * OneSecond;
    i % 20000 == 0 ? s.AddNull(t, y) : s.Add(t, y);
  }
}

struct AnalysisTest : ::testing::Test {
  AnalysisTest()
      : folder((TestApplication(), FreshTestFolder("varnex_analysis"))),
        clock(kStart + 10.0),
        context(state, clock, folder) {}
  std::string folder;
  SharedReceiverState state;
  VirtualClock clock;
  VarnexContext context;
};

bool AllDrawnPointsArePositiveAndFinite(TStatChart& chart) {
  for (int s = 0; s < chart.SeriesCount(); ++s)
    for (int i = 0; i < chart.PointCount(s); ++i) {
      const double x = chart.PointX(s, i), y = chart.PointY(s, i);
      if (!(std::isfinite(x) && std::isfinite(y) && x > 0 && y > 0)) return false;
    }
  return true;
}

// Where a point is drawn, for the value tip.
QPoint PixelOf(TStatChart& chart, const StabilityPoint& p) {
  return QPoint(static_cast<int>(chart.Plot()->xAxis->coordToPixel(p.tau)),
                static_cast<int>(chart.Plot()->yAxis->coordToPixel(p.value)));
}

TEST_F(AnalysisTest, TenPointsGiveTheNoticeAndElevenFillTheWindow) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, 10);
  QString title, text;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      title = box->windowTitle();
      text = box->text();
      EXPECT_EQ(box->buttons().size(), 1);
      box->accept();
    }
  });
  form.TimeStabClick(pps);
  EXPECT_EQ(title, "Attention");
  EXPECT_EQ(text, "You need first to collect data for 100 s\nbefore the statistics can be displayed.");
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.StatChart()->SeriesCount(), 0);

  FillPpsTi(pps, 1);  // 11 points
  form.TimeStabClick(pps);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.frameGeometry().size(), QSize(649, 400));
  EXPECT_FALSE(form.Running());
  TStatChart* chart = form.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(chart->SeriesTitle(i).toStdString(), kMeasureCatalogue[i].title);
  EXPECT_EQ(chart->Values(0).size(), 3u);
  EXPECT_FALSE(chart->RepaintSuspended());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The window's only menu opens the chart editor on this chart.
  QString editorTitle;
  QTimer::singleShot(0, [&] {
    if (QWidget* editor = QApplication::activeModalWidget()) {
      editorTitle = editor->windowTitle();
      editor->close();
    }
  });
  EXPECT_EQ(form.Charteditor1()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
  form.Charteditor1()->trigger();
  EXPECT_EQ(editorTitle, "Chart editor for time stability measures");
  // Closing only hides; the series stay.
  form.close();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(chart->SeriesCount(), 9);
}

TEST_F(AnalysisTest, LegendClicksRescaleAndTheExtraLegendListsTheOneSeriesOn) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, 30000);
  form.TimeStabClick(pps);
  TStatChart* chart = form.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 9);
  EXPECT_TRUE(AllDrawnPointsArePositiveAndFinite(*chart));
  EXPECT_GT(chart->AxisMin(AxisSide::Left), 0.0);
  EXPECT_DOUBLE_EQ(chart->AxisMin(AxisSide::Bottom), 9.9);

  // Only MTIE on: the axes follow it, and the extra legend lists it under the legend.
  for (int i = 0; i < 8; ++i) chart->SetSeriesVisible(i, false);
  chart->Replot();
  QApplication::processEvents();
  const auto& mtie = chart->Values(8);
  const std::vector<std::span<const StabilityPoint>> on{mtie};
  const StabilityAxes expected = RescaleStabilityAxes(on, {});
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Left), expected.Left.Max);
  EXPECT_DOUBLE_EQ(chart->AxisMin(AxisSide::Left), expected.Left.Min);
  const ExtraLegend extra = chart->CurrentExtraLegend();
  ASSERT_TRUE(extra.Active);
  EXPECT_EQ(extra.Series, 8);
  EXPECT_EQ(extra.Left, chart->LegendRect().left());
  EXPECT_EQ(extra.Top, chart->LegendRect().bottom() + 1 + kExtraLegendGap);
  ASSERT_TRUE(chart->grab().save(PicturePath("StatFormExtraLegend.png")));

  // A second series on hides it; all off leaves the axes as they were.
  chart->SetSeriesVisible(0, true);
  EXPECT_FALSE(chart->CurrentExtraLegend().Active);
  const double left = chart->AxisMax(AxisSide::Left), bottom = chart->AxisMax(AxisSide::Bottom);
  chart->SetSeriesVisible(0, false);
  chart->SetSeriesVisible(8, false);
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Left), left);
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Bottom), bottom);

  // The legend moved away: off at the next drawing or timer tick, and it stays off.
  chart->SetSeriesVisible(2, true);
  ASSERT_TRUE(chart->CurrentExtraLegend().Active);
  chart->SetLegendAtRight(false);
  form.Timer1Timer();
  EXPECT_FALSE(chart->CurrentExtraLegend().Active);
  chart->Replot();
  form.Timer1Timer();
  EXPECT_FALSE(chart->CurrentExtraLegend().Active);

  // The value tip over a point shows its value in the measures' format.
  chart->SetLegendAtRight(true);
  chart->Replot();
  const StabilityPoint& p = chart->Values(2).front();
  const QString tip = chart->TipTextAt(PixelOf(*chart, p));
  EXPECT_TRUE(tip.contains("Modified Allan Deviation")) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromStdString(FormatMeasureValue(p.value)))) << tip.toStdString();
  EXPECT_TRUE(chart->TipTextAt(QPoint(2, 2)).isEmpty());
}

TEST_F(AnalysisTest, ErrorBarsCarryEachIntervalInTheSeriesColourAndFollowTheSwitches) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, 30000);
  form.TimeStabClick(pps);
  TStatChart* chart = form.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 9);
  EXPECT_TRUE(chart->ErrorBarsShown());
  for (int i = 0; i < 9; ++i) {
    QCPErrorBars* bars = chart->ErrorBars(i);
    if (!HasConfidenceInterval(kMeasureCatalogue[i].measure)) {
      EXPECT_EQ(bars, nullptr) << i;
      continue;
    }
    ASSERT_NE(bars, nullptr) << i;
    EXPECT_TRUE(bars->visible());
    EXPECT_EQ(bars->pen().color().rgb(), chart->SeriesColor(i).rgb()) << i;
    EXPECT_EQ(chart->Plot()->legend->itemWithPlottable(bars), nullptr);
    // One bar for each drawn point (every point here is positive), with its interval's reach.
    const auto& values = chart->Values(i);
    const auto& intervals = chart->Intervals(i);
    ASSERT_EQ(bars->dataCount(), chart->PointCount(i));
    ASSERT_EQ(static_cast<std::size_t>(bars->dataCount()), values.size());
    int drawn = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
      const ErrorBar want = ErrorBarOf(values[k].value, intervals[k]);
      const QCPErrorBarsData& got = bars->data()->at(static_cast<int>(k));
      EXPECT_EQ(std::isnan(got.errorMinus), std::isnan(want.minus));
      if (!std::isnan(want.minus)) {
        EXPECT_DOUBLE_EQ(got.errorMinus, want.minus);
      }
      if (!std::isnan(want.plus)) {
        EXPECT_DOUBLE_EQ(got.errorPlus, want.plus);
      }
      drawn += intervals[k].Valid();
    }
    // White PM rules this data throughout, and the total deviation has no model for it.
    if (kMeasureCatalogue[i].measure != StabilityMeasure::Total) {
      EXPECT_GT(drawn, 3) << i;
    }
  }

  // The tip gives the interval and the noise of an Allan deviation point.
  for (int i = 1; i < 9; ++i) chart->SetSeriesVisible(i, false);
  chart->Replot();
  const QString tip = chart->TipTextAt(PixelOf(*chart, chart->Values(0).front()));
  const std::string noise(NoiseName(chart->Intervals(0).front().alpha));
  EXPECT_TRUE(tip.contains("<br>(68&nbsp;%:&nbsp;")) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromStdString(noise + ")").replace(' ', "&nbsp;"))) << tip.toStdString();
  // A hidden series hides its bars; so does the editor's one switch, for all.
  EXPECT_FALSE(chart->ErrorBars(1)->visible());
  chart->SetSeriesVisible(1, true);
  EXPECT_TRUE(chart->ErrorBars(1)->visible());
  const StabilityAxes axes{{chart->AxisMin(AxisSide::Left), chart->AxisMax(AxisSide::Left)},
                           {chart->AxisMin(AxisSide::Bottom), chart->AxisMax(AxisSide::Bottom)}};
  {
    TChartEditor editor(chart, &form);
    ASSERT_NE(editor.ErrorBarsBox(), nullptr);
    EXPECT_TRUE(editor.ErrorBarsBox()->isChecked());
    if (auto* tabs = editor.findChild<QTabWidget*>()) tabs->setCurrentIndex(tabs->count() - 1);
    editor.show();
    EXPECT_TRUE(editor.grab().save(PicturePath("StatChartEditorChartPage.png")));
    editor.ErrorBarsBox()->setChecked(false);
  }
  EXPECT_FALSE(chart->ErrorBarsShown());
  for (int i : {0, 1, 2, 3, 4, 5}) EXPECT_FALSE(chart->ErrorBars(i)->visible()) << i;
  chart->SetSeriesVisible(0, false);
  chart->SetSeriesVisible(0, true);
  EXPECT_FALSE(chart->ErrorBars(0)->visible());
  // The bars never move the axes.
  EXPECT_DOUBLE_EQ(chart->AxisMin(AxisSide::Left), axes.Left.Min);
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Left), axes.Left.Max);

  // Charts without intervals offer no switch.
  TTimeChart plain;
  TChartEditor plainEditor(&plain);
  EXPECT_EQ(plainEditor.ErrorBarsBox(), nullptr);
}

TEST_F(AnalysisTest, ConstantDataLeaveOnlyMtieZerosAndTheChartStillDraws) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  for (int i = 0; i < 500; ++i) pps.Add(kStart + i * 10 * OneSecond, std::ldexp(1.0, -30));
  form.TimeStabClick(pps);
  TStatChart* chart = form.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 9);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(chart->Values(i).empty()) << i;
  ASSERT_FALSE(chart->Values(8).empty());
  EXPECT_EQ(chart->PointCount(8), 0);  // zeros are kept but a log axis cannot draw them
  EXPECT_EQ(chart->AxisMin(AxisSide::Left), -1e300);
  const QImage image = chart->grab().toImage();
  EXPECT_FALSE(image.isNull());
  EXPECT_GT(chart->Plot()->yAxis->range().lower, 0.0);

  // Steps 1 and 2 only (a zero among the values): the stored range keeps its
  // minimum, the drawing shows the new maximum at the top.
  chart->SetAxisRange(AxisSide::Left, -1e300, 1.01e-9);
  EXPECT_EQ(chart->AxisMin(AxisSide::Left), -1e300);
  const QCPRange shown = chart->Plot()->yAxis->range();
  EXPECT_GT(shown.lower, 0.0);
  EXPECT_GT(shown.upper, 1.01e-9);
  EXPECT_LT(shown.upper, 1.2e-9);
  EXPECT_FALSE(chart->grab().isNull());
}

TEST_F(AnalysisTest, ASecondRunAskedDuringARunStartsItOverAndCloseDoesNotStopIt) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, 20000, 4);
  int asked = 0;
  // Fired from the run's own pending-event passes.
  QTimer again;
  again.setInterval(1);
  QObject::connect(&again, &QTimer::timeout, [&] {
    if (!form.Running()) return;
    if (++asked == 1) {
      form.close();
      pps.Add(pps.Last().x + 10 * OneSecond, 1e-9);  // the second run sees it
      form.TimeStabClick(pps);
    }
    // Switching series during a run is fine too.
    if (form.StatChart()->SeriesCount() > 0) form.StatChart()->SetSeriesVisible(0, asked++ % 2 == 0);
  });
  again.start();
  form.TimeStabClick(pps);
  again.stop();
  ASSERT_GE(asked, 1);
  TStatChart* chart = form.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 9);
  const std::vector<double> samples = LoadPhaseSamples(pps);
  for (int i = 0; i < 9; ++i) {
    const auto expected = AllMeasurePoints(kMeasureCatalogue[i].measure, samples);
    ASSERT_EQ(chart->Values(i).size(), expected.size()) << i;
    if (!expected.empty()) {
      EXPECT_EQ(chart->Values(i).back().value, expected.back().value) << i;
    }
  }
  EXPECT_TRUE(form.isVisible());  // the second run showed it again
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(AnalysisTest, EditorDuringARunMovesAndAddsSeriesWithoutLosingAPointAndTheNextRunDiscardsThem) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, 20000, 5);
  TStatChart* chart = form.StatChart();
  bool edited = false;
  QString editorTitle;
  // Once three measures are under way, the chart editor is opened from the run's
  // pending-event passes: it moves the first measure to the end and adds a
  // moving average of the Allan deviation.
  QTimer poll;
  poll.setInterval(1);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (edited || !form.Running() || chart->SeriesCount() < 3) return;
    edited = true;
    QTimer::singleShot(0, [&] {
      auto* editor = qobject_cast<TChartEditor*>(QApplication::activeModalWidget());
      if (!editor) return;
      editorTitle = editor->windowTitle();
      editor->SelectSeries(0);
      editor->MoveCurrent(+1);
      editor->MoveCurrent(+1);
      editor->SelectSeries(2);  // Allan deviation, now third
      editor->AddSeries(SeriesSourceKind::MovingAverage);
      editor->close();
    });
    form.Charteditor1()->trigger();
  });
  poll.start();
  form.TimeStabClick(pps);
  poll.stop();
  ASSERT_TRUE(edited);
  EXPECT_EQ(editorTitle, "Chart editor for time stability measures");
  ASSERT_EQ(chart->SeriesCount(), 10);
  EXPECT_FALSE(chart->SeriesIsProgram(3));
  EXPECT_EQ(chart->Roster().Source(3).sourceId, chart->SeriesId(2));
  // Every measure got all its points, wherever it stood.
  const std::vector<double> samples = LoadPhaseSamples(pps);
  for (const MeasureInfo& info : kMeasureCatalogue) {
    int index = -1;
    for (int i = 0; i < chart->SeriesCount(); ++i)
      if (chart->SeriesTitle(i).toStdString() == info.title) index = i;
    ASSERT_GE(index, 0) << info.title;
    EXPECT_EQ(chart->Values(index).size(), AllMeasurePoints(info.measure, samples).size()) << info.title;
  }
  // The average followed its measure to the end of the run.
  EXPECT_EQ(chart->Roster().Points(3)->Count(),
            chart->Values(2).size() + 1 - static_cast<std::size_t>(chart->Roster().Source(3).window));
  EXPECT_EQ(chart->PointCount(3), static_cast<int>(chart->Roster().Points(3)->Count()));
  // Alone on, the added series is what the extra legend lists.
  for (int i = 0; i < chart->SeriesCount(); ++i) chart->SetSeriesVisible(i, i == 3);
  chart->Replot();
  QApplication::processEvents();
  EXPECT_EQ(chart->CurrentExtraLegend().Series, 3);
  // and what the axes are scaled to.
  const std::vector<StabilityPoint> alone = chart->SeriesPoints(3);
  ASSERT_FALSE(alone.empty());
  const StabilityAxes expected = RescaleStabilityAxes({alone}, {});
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Left), expected.Left.Max);
  EXPECT_DOUBLE_EQ(chart->AxisMin(AxisSide::Left), expected.Left.Min);
  EXPECT_TRUE(chart->grab().save(PicturePath("StatFormAddedSeriesAlone.png")));
  // A new run discards every series, the added one too.
  form.TimeStabClick(pps);
  ASSERT_EQ(chart->SeriesCount(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(chart->SeriesIsProgram(i));
}

TEST_F(AnalysisTest, LegendMovedAwayInTheEditorTurnsTheExtraLegendOffUntilItIsBack) {
  TStatForm form(context);
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, 30000, 6);
  form.TimeStabClick(pps);
  TStatChart* chart = form.StatChart();
  for (int i = 1; i < 9; ++i) chart->SetSeriesVisible(i, false);
  chart->Replot();
  QApplication::processEvents();
  ASSERT_TRUE(chart->CurrentExtraLegend().Active);
  TChartEditor editor(chart, &form, "Chart editor for time stability measures");
  QComboBox* place = editor.LegendPlaceBox();
  place->setCurrentIndex(place->findData(static_cast<int>(LegendPosition::Bottom)));  // redraws
  QApplication::processEvents();
  EXPECT_FALSE(chart->CurrentExtraLegend().Active);
  form.Timer1Timer();
  EXPECT_FALSE(chart->CurrentExtraLegend().Active);
  // The legend runs across the bottom, the plot above it keeps the width.
  const QRect legend = chart->LegendRect(), plot = chart->Plot()->axisRect()->outerRect();
  EXPECT_GT(legend.top(), plot.bottom());
  EXPECT_TRUE(chart->grab().save(PicturePath("StatFormLegendAtBottom.png")));
  editor.SelectNode(EditorNodeKind::Chart);
  editor.show();
  EXPECT_TRUE(editor.grab().save(PicturePath("StatChartEditor.png")));
  // A click in the legend while it is away keeps it off.
  chart->SetSeriesVisible(0, false);
  chart->SetSeriesVisible(0, true);
  EXPECT_FALSE(chart->CurrentExtraLegend().Active);
  // Back at the right: the next click in the legend brings it back under the legend.
  place->setCurrentIndex(place->findData(static_cast<int>(LegendPosition::Right)));
  QApplication::processEvents();
  chart->SetSeriesVisible(0, false);
  chart->SetSeriesVisible(0, true);
  const ExtraLegend extra = chart->CurrentExtraLegend();
  ASSERT_TRUE(extra.Active);
  EXPECT_EQ(extra.Series, 0);
  EXPECT_EQ(extra.Left, chart->LegendRect().left());
}

// A main chart as the main window sets it up, with a day of EFC rising 2.5 a day.
struct MainChartFixture {
  ChartSeries pps{"PPS TI"}, efc{"EFC"};
  TTimeChart chart;
  MainChartFixture(int points, double slopePerDay, double wiggle) {
    chart.resize(841, 400);
    chart.SetTitle("PPS TI & EFC");
    chart.SetAxisTitle(AxisSide::Left, "PPS TI / s", Qt::blue);
    chart.SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
    chart.SetAxisVisible(AxisSide::Right, true);
    chart.SetAxisTitle(AxisSide::Right, "EFC value", QColor(220, 0, 0));
    chart.SetAxisNumberFormat(AxisSide::Right, "0.000000");
    for (int i = 0; i < points; ++i) {
      const double t = kStart + i * 10 * OneSecond;
      pps.Add(t, 2e-9 * std::sin(i / 300.0));
      efc.Add(t, 32768.0 + slopePerDay * (t - kStart) + wiggle * std::sin(i / 700.0));
    }
    chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
    chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
    chart.Replot();
  }
  int FitLines() const {
    int n = 0;
    for (int i = 0; i < chart.SeriesCount(); ++i) n += chart.SeriesTitle(i) == TDriftForm::FitLineTitle;
    return n;
  }
};

TEST_F(AnalysisTest, EfcStatisticsFillTheFieldsAndDrawTheFitLineWhileOpen) {
  MainChartFixture main(8640, 2.5, 0.0);
  // Only the second half shown.
  main.chart.SetAxisRange(AxisSide::Bottom, kStart + 0.5, kStart + 1.0);
  TDriftForm form(context);
  form.SetSource(&main.chart, &main.efc);
  form.OCXODift1Click();
  ASSERT_TRUE(form.isVisible());
  EXPECT_EQ(form.size(), QSize(620, 85));
  const QString point = QLocale().decimalPoint();
  EXPECT_EQ(form.Edit(4)->text(), "2" + point + "500E+00");
  EXPECT_EQ(form.Edit(5)->text(), "2" + point + "500E-12");
  EXPECT_NEAR(QLocale().toDouble(form.Edit(6)->text()), 1.0, 1e-12);  // a straight line, up to rounding
  ASSERT_EQ(main.FitLines(), 1);
  const int line = main.chart.SeriesCount() - 1;
  EXPECT_EQ(main.chart.SeriesColor(line), QColor(Qt::black));
  ASSERT_EQ(main.chart.PlottedCount(line), 2);
  EXPECT_DOUBLE_EQ(main.chart.PlottedX(line, 0), main.efc.First().x);  // the whole series
  EXPECT_DOUBLE_EQ(main.chart.PlottedX(line, 1), main.efc.Last().x);
  EXPECT_TRUE(main.chart.LegendVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Open already: only raised, nothing recomputed.
  const QString slope = form.Edit(4)->text();
  for (int i = 0; i < 100; ++i) main.efc.Add(main.efc.Last().x + 10 * OneSecond, 99999.0);
  form.OCXODift1Click();
  EXPECT_EQ(form.Edit(4)->text(), slope);
  EXPECT_EQ(main.FitLines(), 1);

  form.close();
  EXPECT_EQ(main.FitLines(), 0);
  EXPECT_FALSE(main.chart.LegendVisible());
  form.OCXODift1Click();
  EXPECT_EQ(main.FitLines(), 1);
  form.close();

  // Fewer than two points in the interval: Edit1/Edit2 empty, the rest kept, no line.
  const QString drift = form.Edit(5)->text();
  main.chart.SetAxisRange(AxisSide::Bottom, kStart + 2.0, kStart + 3.0);
  form.OCXODift1Click();
  EXPECT_TRUE(form.Edit(0)->text().isEmpty());
  EXPECT_TRUE(form.Edit(1)->text().isEmpty());
  EXPECT_EQ(form.Edit(5)->text(), drift);
  EXPECT_EQ(main.FitLines(), 0);
  EXPECT_FALSE(main.chart.LegendVisible());
  form.close();
}

// Every field shows its whole text, even at the widest its format gives, inside the
// dialog's fixed size.
TEST_F(AnalysisTest, EfcStatisticsFieldsShowTheirWholeText) {
  TDriftForm form(context);
  form.show();
  QApplication::processEvents();
  const struct {
    int field;
    const char* text;
  } cases[] = {
      {0, "-8.888E-88"},
      {1, "-8.888E-88"},
      {2, "-8.888E-88"},
      {3, "-8.888E-88"},
      {4, "-8.888E-88"},
      {5, "-8.888E-88"},
      {6, "0.0351455932732826"},  // a day of real data
      {6, "0.0000888888888888888"},
      {6, "-8.88888888888888E-88"},
      {6, "-0.0000888888888888888"},
  };
  for (const auto& c : cases) {
    QLineEdit* edit = form.Edit(c.field);
    edit->setText(c.text);
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const int room = contents.width() - 2 * 2;  // the line edit's own margin either side
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(c.text), room) << "Edit" << c.field + 1 << " " << c.text;
  }
  EXPECT_EQ(form.size(), QSize(620, 85));
  EXPECT_TRUE(form.grab().save(PicturePath("DriftFormWidest.png")));
  form.close();

  // A day of EFC that wanders more than it drifts: a QOF of a few hundredths.
  MainChartFixture main(8640, 0.3, 0.8);
  form.SetSource(&main.chart, &main.efc);
  form.OCXODift1Click();
  EXPECT_LT(QLocale().toDouble(form.Edit(6)->text()), 0.1);
  EXPECT_TRUE(form.grab().save(PicturePath("DriftFormDay.png")));
  form.close();
}

TEST_F(AnalysisTest, HoldoverWindowLoadsItsHistoryAndKeepsTheSatelliteAxisFixed) {
  // Span one day: a record exactly that old is left out, a younger one kept; a
  // 20 s gap breaks the line.
  const TDateTime now = kStart + 10.0;
  clock.Set(now);
  {
    std::ofstream data(folder + "/" + UndatedDataFileName, std::ios::binary);
    const TDateTime first = now - 1.0;
    data << FormatDataLine({first, 1e-9, 32768, 9e-6, 5}) << "\r\n";
    data << FormatDataLine({first + OneSecond, 1e-9, 32768, 8e-6, 6}) << "\r\n";
    data << FormatDataLine({first + 11 * OneSecond, 1e-9, 32768, 7e-6, 7}) << "\r\n";
    data << FormatDataLine({first + 31 * OneSecond, 1e-9, 32768, 6e-6, 20}) << "\r\n";
  }
  TEFCForm form(context);
  ASSERT_EQ(form.Series1.Count(), 4u);  // three lines and the file's closing null point
  EXPECT_DOUBLE_EQ(form.Series1.Y(0), 8e-6);
  EXPECT_FALSE(form.Series1.IsNull(1));
  EXPECT_TRUE(form.Series1.IsNull(2));  // 20 s after its neighbour
  EXPECT_DOUBLE_EQ(form.Series2.Y(2), 20.0);

  form.show();
  EXPECT_EQ(form.frameGeometry().size(), QSize(748, 406));
  TTimeChart* chart = form.Chart1();
  EXPECT_EQ(chart->Title(), "Holdover Uncertainity Prediction & Sats");
  EXPECT_FALSE(chart->LegendVisible());
  EXPECT_FALSE(chart->AxisAutomatic(AxisSide::Right));
  EXPECT_DOUBLE_EQ(chart->AxisMin(AxisSide::Right), 0.0);
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Right), 16.0);  // 20 satellites lie above it
  EXPECT_EQ(chart->AxisTitle(AxisSide::Left), "HUD / s");
  EXPECT_EQ(chart->AxisTitle(AxisSide::Right), "Sats");
  EXPECT_EQ(chart->AxisNumberFormat(AxisSide::Left), "#.00,\"x10\",E+0");
  EXPECT_EQ(chart->PlottedCount(0), 4);
  EXPECT_EQ(form.Charteditor1()->text(), "&Chart Editor");
}

// Ten days of generated data in all three windows, kept as pictures to look at.
TEST_F(AnalysisTest, TenDaysOfDataPictures) {
  constexpr int kTenDays = 86400;
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, kTenDays, 11);
  TStatForm stat(context);
  stat.TimeStabClick(pps);
  TStatChart* chart = stat.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_GT(chart->PointCount(i), 3) << i;
  EXPECT_TRUE(AllDrawnPointsArePositiveAndFinite(*chart));
  EXPECT_TRUE(stat.grab().save(PicturePath("StatForm.png")));
  stat.resize(960, 600);
  chart->Replot();
  QApplication::processEvents();
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormLarge.png")));
  // The Allan family alone, where its error bars can be seen apart.
  for (int i = 3; i < 9; ++i) chart->SetSeriesVisible(i, false);
  chart->Replot();
  QApplication::processEvents();
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormErrorBars.png")));
  // The longest Allan point has too few averages to find the noise: its
  // interval takes the type of the previous point, and its tip, shown by
  // resting the mouse there, says so.
  for (int i = 1; i < 3; ++i) chart->SetSeriesVisible(i, false);
  chart->Replot();
  QApplication::processEvents();
  const StabilityPoint last = chart->Values(0).back();
  ASSERT_EQ(chart->Intervals(0).back().method, NoiseMethod::Carried);
  const QPoint at = PixelOf(*chart, last);
  QMouseEvent move(QEvent::MouseMove, QPointF(at), chart->Plot()->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(chart->Plot(), &move);
  for (int i = 0; i < 200 && !QToolTip::isVisible(); ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(QToolTip::isVisible());
  EXPECT_TRUE(QToolTip::text().contains("&nbsp;carried&nbsp;from&nbsp;\u03c4&nbsp;=&nbsp;"))
      << QToolTip::text().toStdString();
  QImage withTip = stat.grab().toImage();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->inherits("QLabel")) continue;  // the tip's own label
    QPainter painter(&withTip);
    painter.drawPixmap(stat.mapFromGlobal(w->pos()), w->grab());
  }
  EXPECT_TRUE(withTip.save(PicturePath("StatFormCarriedTip.png")));
  QToolTip::hideText();

  MainChartFixture main(kTenDays, 2.5, 0.8);
  main.chart.SetAxisRange(AxisSide::Bottom, kStart + 5.0, kStart + 10.0);
  TDriftForm drift(context);
  drift.SetSource(&main.chart, &main.efc);
  drift.OCXODift1Click();
  ASSERT_EQ(main.FitLines(), 1);
  EXPECT_TRUE(drift.grab().save(PicturePath("DriftForm.png")));
  EXPECT_TRUE(main.chart.grab().save(PicturePath("DriftFitLine.png")));
  drift.close();

  TEFCForm holdover(context);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> step(-1, 1);
  int sats = 8;
  for (int i = 0; i < kTenDays; ++i) {
    const double t = kStart + i * 10 * OneSecond;
    if (i % 900 == 0) sats = std::clamp(sats + step(rng), 4, 12);
    // Uncertainty grows while the receiver sees few satellites.
    const double hud = 0.6e-6 + 0.15e-6 * std::sin(i / 2600.0) + (sats < 6 ? 0.5e-6 : 0.0);
    const bool gap = i % 30000 == 0;
    gap ? holdover.Series1.AddNull(t, hud) : holdover.Series1.Add(t, hud);
    gap ? holdover.Series2.AddNull(t, sats) : holdover.Series2.Add(t, sats);
  }
  holdover.show();
  holdover.ChartsChanged();
  const QImage picture = holdover.grab().toImage();
  EXPECT_TRUE(picture.save(PicturePath("EFCForm.png")));
  // Both lines in their full colour, at least once for every pixel column they cross.
  int blue = 0, orange = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      blue += picture.pixelColor(x, y) == QColor(0, 0, 255);
      orange += picture.pixelColor(x, y) == QColor(255, 128, 0);
    }
  RecordProperty("HudPixels", blue);
  RecordProperty("SatsPixels", orange);
  const int plotWidth = holdover.Chart1()->Plot()->axisRect()->width();
  EXPECT_GE(blue, plotWidth * 9 / 10);
  EXPECT_GE(orange, plotWidth * 9 / 10);
}

TEST_F(AnalysisTest, FurtherMeasuresSwitchedOnFromTheChartMenuRunPlotAndCarryTipsAndErrorBars) {
  constexpr int kOneDay = 8640;
  ChartSeries pps("PPS TI");
  FillPpsTi(pps, kOneDay, 12);
  TStatForm stat(context);
  QMenu* menu = stat.FurtherMenu();
  ASSERT_NE(menu, nullptr);
  // The chart's context menu offers every further measure, none switched on.
  QStringList offered;
  for (QAction* action : menu->actions())
    if (action->isCheckable()) {
      offered << action->text();
      EXPECT_FALSE(action->isChecked());
    }
  ASSERT_EQ(offered.size(), static_cast<qsizetype>(kFurtherMeasureCatalogue.size()));
  for (std::size_t i = 0; i < kFurtherMeasureCatalogue.size(); ++i)
    EXPECT_EQ(offered[static_cast<qsizetype>(i)].toStdString(), kFurtherMeasureCatalogue[i].title);
  EXPECT_EQ(stat.StatChart()->Plot()->contextMenuPolicy(), Qt::CustomContextMenu);

  // Switched on before any run: nothing runs yet; the next run adds them.
  auto actionOf = [&](FurtherMeasure measure) {
    return menu->actions()[menu->actions().size() - static_cast<qsizetype>(kFurtherMeasureCatalogue.size()) +
                           static_cast<qsizetype>(measure)];
  };
  actionOf(FurtherMeasure::ModifiedTotal)->trigger();
  EXPECT_FALSE(stat.isVisible());
  stat.TimeStabClick(pps);
  TStatChart* chart = stat.StatChart();
  ASSERT_EQ(chart->SeriesCount(), 10);
  // Switched on after a run: it runs again at once.
  actionOf(FurtherMeasure::Time)->trigger();
  ASSERT_EQ(chart->SeriesCount(), 11);
  EXPECT_TRUE(stat.Further().On(FurtherMeasure::Time));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(chart->SeriesTitle(i).toStdString(), kMeasureCatalogue[i].title);
  const std::vector<double> samples = LoadPhaseSamples(pps);
  const FurtherMeasure shown[] = {FurtherMeasure::Time, FurtherMeasure::ModifiedTotal};
  for (int k = 0; k < 2; ++k) {
    const int series = 9 + k;
    EXPECT_EQ(chart->SeriesTitle(series).toStdString(), FurtherMeasureInfoOf(shown[k]).title);
    const FurtherSeries want = ComputeFurtherMeasure(shown[k], samples, kSampleInterval, TauList::Octave, true);
    ASSERT_EQ(chart->Values(series).size(), want.points.size());
    ASSERT_GT(want.points.size(), 5u);
    for (std::size_t i = 0; i < want.points.size(); ++i)
      EXPECT_EQ(chart->Values(series)[i].value, want.points[i].value);
    ASSERT_NE(chart->ErrorBars(series), nullptr);
    EXPECT_EQ(chart->ErrorBars(series)->dataCount(), chart->PointCount(series));
    // The tip of a point with an interval gives its degrees of freedom.
    const FurtherPoint& p = want.points[2];
    ASSERT_TRUE(p.interval.Valid());
    const QString tip = chart->ValueTip(series, 2);
    EXPECT_TRUE(tip.contains("EDF&nbsp;")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("noise:")) << tip.toStdString();
  }
  EXPECT_TRUE(AllDrawnPointsArePositiveAndFinite(*chart));
  EXPECT_TRUE(stat.FurtherNotes()->isHidden());
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormFurther.png")));
  stat.resize(960, 600);
  chart->Replot();
  QApplication::processEvents();
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormFurtherLarge.png")));
  // TDEV and MTOT with the Allan deviation they are read against.
  for (int i = 1; i < 9; ++i) chart->SetSeriesVisible(i, false);
  chart->Replot();
  QApplication::processEvents();
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormFurtherAlone.png")));
  // The tip of an MTOT point, shown by resting the mouse there.
  const QPoint at = PixelOf(*chart, chart->Values(10)[3]);
  QMouseEvent move(QEvent::MouseMove, QPointF(at), chart->Plot()->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(chart->Plot(), &move);
  for (int i = 0; i < 200 && !QToolTip::isVisible(); ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(QToolTip::isVisible());
  EXPECT_TRUE(QToolTip::text().contains("EDF&nbsp;")) << QToolTip::text().toStdString();
  QImage withTip = stat.grab().toImage();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->inherits("QLabel")) continue;
    QPainter painter(&withTip);
    painter.drawPixmap(stat.mapFromGlobal(w->pos()), w->grab());
  }
  EXPECT_TRUE(withTip.save(PicturePath("StatFormFurtherTip.png")));
  QToolTip::hideText();

  // A day is longer than the hybrid Theo deviation is computed for: a line says so.
  actionOf(FurtherMeasure::TheoH)->trigger();
  ASSERT_EQ(chart->SeriesCount(), 12);
  EXPECT_EQ(chart->PointCount(11), 0);
  EXPECT_FALSE(stat.FurtherNotes()->isHidden());
  const QString leftOut =
      QString("Hybrid Theo Deviation left out: the record has %1 samples").arg(static_cast<qsizetype>(samples.size()));
  EXPECT_TRUE(stat.FurtherNotes()->text().startsWith(leftOut)) << stat.FurtherNotes()->text().toStdString();
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormFurtherNote.png")));
  // Switched off, the window is back to the nine and the line goes.
  for (FurtherMeasure m : {FurtherMeasure::Time, FurtherMeasure::ModifiedTotal, FurtherMeasure::TheoH})
    actionOf(m)->trigger();
  EXPECT_EQ(chart->SeriesCount(), 9);
  EXPECT_TRUE(stat.FurtherNotes()->isHidden());
  for (QAction* action : menu->actions()) EXPECT_FALSE(action->isChecked());

  // Eleven hours of data: all six fit, the Theo pair included.
  ChartSeries hours("PPS TI");
  FillPpsTi(hours, 4000, 13);
  for (const FurtherMeasureInfo& info : kFurtherMeasureCatalogue) stat.SetFurtherMeasureOn(info.measure, true);
  for (int i = 0; i < 9; ++i) chart->SetSeriesVisible(i, false);
  stat.TimeStabClick(hours);
  ASSERT_EQ(chart->SeriesCount(), 15);
  EXPECT_TRUE(stat.FurtherNotes()->isHidden()) << stat.FurtherNotes()->text().toStdString();
  for (int i = 9; i < 15; ++i) {
    EXPECT_GT(chart->PointCount(i), 3) << chart->SeriesTitle(i).toStdString();
    EXPECT_TRUE(chart->ValueTip(i, 1).contains("EDF&nbsp;")) << chart->ValueTip(i, 1).toStdString();
  }
  for (QAction* action : menu->actions()) EXPECT_EQ(action->isChecked(), action->isCheckable());
  EXPECT_TRUE(AllDrawnPointsArePositiveAndFinite(*chart));
  for (int i = 0; i < 9; ++i) chart->SetSeriesVisible(i, i == 1);
  chart->Replot();
  QApplication::processEvents();
  EXPECT_TRUE(stat.grab().save(PicturePath("StatFormFurtherAll.png")));
}

}  // namespace
