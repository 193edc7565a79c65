#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <cmath>
#include <random>

#include "TestApp.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/TimeChart.h"
#include "platform/DateTime.h"

namespace {

struct AppFirst {
  AppFirst() { TestApp(); }
};

struct EditorFixture : ::testing::Test, AppFirst {
  EditorFixture() {
    for (int i = 0; i < 50; ++i) {
      pps.Add(100 + i * 0.01, i * 1e-10);
      efc.Add(100 + i * 0.01, 32768 + i);
    }
    chart.resize(841, 447);
    chart.AddSeries(&pps, AxisSide::Left, Qt::blue, "PPS TI");
    chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
    chart.SetTitle("PPS TI & EFC");
    chart.Replot();
  }
  void SelectAxis(TChartEditor& editor, AxisSide side) { editor.SelectAxis(side); }
  ChartSeries pps, efc;
  TTimeChart chart;
};

TEST_F(EditorFixture, ListsSeriesWithTheirState) {
  chart.SetSeriesVisible(1, false);
  TChartEditor editor(&chart);
  ASSERT_EQ(editor.SeriesList()->count(), 2);
  EXPECT_EQ(editor.SeriesList()->item(0)->text(), "PPS TI");
  EXPECT_EQ(editor.SeriesList()->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(editor.SeriesList()->item(1)->checkState(), Qt::Unchecked);
  EXPECT_EQ(editor.TitleEdit()->text(), "PPS TI & EFC");
}

TEST_F(EditorFixture, SeriesChangesApplyLive) {
  TChartEditor editor(&chart);
  editor.SeriesList()->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(chart.SeriesVisible(1));
  editor.SeriesList()->setCurrentRow(1);
  editor.ApplyColor(QColor(10, 200, 30));
  EXPECT_EQ(chart.SeriesColor(1), QColor(10, 200, 30));
  EXPECT_EQ(static_cast<QCPGraph*>(chart.Plottable(1))->pen().color(), QColor(10, 200, 30));
  editor.LineWidthEdit()->setValue(2.5);
  EXPECT_DOUBLE_EQ(chart.SeriesLineWidth(1), 2.5);
  editor.PointStyleBox()->setCurrentIndex(editor.PointStyleBox()->findData(static_cast<int>(PointStyle::Diamond)));
  EXPECT_EQ(chart.SeriesPointStyle(1), PointStyle::Diamond);
  EXPECT_EQ(static_cast<QCPGraph*>(chart.Plottable(1))->scatterStyle().shape(), QCPScatterStyle::ssDiamond);
  // Selecting the other series shows its own settings, untouched.
  editor.SeriesList()->setCurrentRow(0);
  EXPECT_DOUBLE_EQ(editor.LineWidthEdit()->value(), 1.0);
  EXPECT_EQ(chart.SeriesColor(0), QColor(Qt::blue));
}

TEST_F(EditorFixture, FixedRangeAndBackToAutomatic) {
  TChartEditor editor(&chart);
  SelectAxis(editor, AxisSide::Right);
  EXPECT_TRUE(editor.AutomaticBox()->isChecked());
  EXPECT_EQ(editor.MinEdit()->text(), "32768");
  editor.MinEdit()->setText("0");
  editor.MaxEdit()->setText("16");
  editor.AutomaticBox()->setChecked(false);
  EXPECT_FALSE(chart.AxisAutomatic(AxisSide::Right));
  EXPECT_DOUBLE_EQ(chart.AxisMin(AxisSide::Right), 0);
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Right), 16);
  // A typed range is taken when the field is left; rubbish is refused.
  editor.MaxEdit()->setText("2,5e1");
  emit editor.MaxEdit()->editingFinished();
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Right), 25);
  editor.MaxEdit()->setText("abc");
  emit editor.MaxEdit()->editingFinished();
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Right), 25);
  EXPECT_EQ(editor.MaxEdit()->text(), "25");
  editor.AutomaticBox()->setChecked(true);
  EXPECT_TRUE(chart.AxisAutomatic(AxisSide::Right));
  EXPECT_DOUBLE_EQ(chart.AxisMax(AxisSide::Right), 32768 + 49);
}

TEST_F(EditorFixture, AxisAndChartOptions) {
  TChartEditor editor(&chart);
  SelectAxis(editor, AxisSide::Left);
  editor.LogarithmicBox()->setChecked(true);
  EXPECT_TRUE(chart.AxisLogarithmic(AxisSide::Left));
  EXPECT_EQ(chart.Plot()->yAxis->scaleType(), QCPAxis::stLogarithmic);
  editor.GridBox()->setChecked(false);
  EXPECT_FALSE(chart.Plot()->yAxis->grid()->visible());
  editor.AxisTitleEdit()->setText("PPS TI / s");
  emit editor.AxisTitleEdit()->textEdited("PPS TI / s");
  EXPECT_EQ(chart.AxisTitle(AxisSide::Left), "PPS TI / s");
  editor.TitleEdit()->setText("New");
  emit editor.TitleEdit()->textEdited("New");
  EXPECT_EQ(chart.Title(), "New");
  editor.LegendPlaceBox()->setCurrentIndex(editor.LegendPlaceBox()->findData(static_cast<int>(LegendPosition::Inside)));
  EXPECT_TRUE(chart.LegendVisible());
}

}  // namespace

namespace {

TEST_F(EditorFixture, TreeShowsEveryPartAndEachNodeItsPage) {
  TChartEditor editor(&chart);
  std::vector<QString> labels;
  for (QTreeWidgetItemIterator it(editor.Tree()); *it; ++it) labels.push_back((*it)->text(0));
  EXPECT_EQ(labels, (std::vector<QString>{"Chart", "Titles", "Legend", "Left axis", "Right axis", "Bottom axis",
                                          "Series", "PPS TI", "EFC"}));
  struct Case {
    EditorNodeKind kind;
    int key;
    QLineEdit* field;  // a field of the page that must show
  };
  const std::vector<Case> cases = {
      {EditorNodeKind::Titles, -1, editor.TitleEdit()},
      {EditorNodeKind::Axis, static_cast<int>(AxisSide::Right), editor.AxisTitleEdit()},
      {EditorNodeKind::Legend, -1, editor.LegendTitleEdit()},
      {EditorNodeKind::Series, 1, editor.SeriesTitleEdit()},
  };
  editor.show();
  for (const Case& c : cases) {
    editor.SelectNode(c.kind, c.key);
    EXPECT_EQ(editor.CurrentNode(), c.kind);
    EXPECT_TRUE(c.field->isVisible()) << static_cast<int>(c.kind);
  }
  EXPECT_EQ(editor.SeriesTitleEdit()->text(), "EFC");
  EXPECT_EQ(editor.AxisTitleEdit()->text(), chart.AxisTitle(AxisSide::Right));
  editor.SelectNode(EditorNodeKind::Chart);
  EXPECT_TRUE(editor.SeriesList()->isVisible());
  // Help: a page of its own that names the operations.
  editor.HelpButton()->click();
  ASSERT_NE(editor.HelpPage(), nullptr);
  EXPECT_TRUE(editor.HelpPage()->isVisible());
  const QString help = editor.HelpPage()->findChild<QTextBrowser*>("HelpText")->toPlainText();
  for (const char* word : {"Add", "Clone", "Delete", "Move up", "moving average", "least-squares", "Legend"})
    EXPECT_TRUE(help.contains(word)) << word;
}

TEST_F(EditorFixture, SeriesAreAddedFollowClonedMovedAndDeleted) {
  TChartEditor editor(&chart);
  // The program's series stay.
  editor.SelectSeries(0);
  EXPECT_FALSE(editor.DeleteButton()->isEnabled());
  EXPECT_FALSE(editor.DeleteCurrent());
  EXPECT_FALSE(editor.SourceKindBox()->isVisibleTo(&editor));

  // A moving average of PPS TI: over as many points as it has at most, then over 5.
  const int avg = editor.AddSeries(SeriesSourceKind::MovingAverage);
  ASSERT_EQ(avg, 2);
  EXPECT_EQ(chart.SeriesTitle(avg), "PPS TI, 50-point average");
  EXPECT_EQ(editor.CurrentNode(), EditorNodeKind::Series);
  EXPECT_EQ(editor.WindowEdit()->maximum(), 50);
  editor.WindowEdit()->setValue(5);
  EXPECT_EQ(chart.Roster().Source(avg).window, 5);
  EXPECT_EQ(chart.SeriesTitle(avg), "PPS TI, 5-point average");
  EXPECT_EQ(chart.PlottedCount(avg), 46);
  EXPECT_NEAR(chart.PlottedY(avg, 0), (0 + 1 + 2 + 3 + 4) * 1e-10 / 5, 1e-22);
  // Nothing outside 1..count is taken from the field.
  for (const char* typed : {"0", "51", "-3"}) {
    editor.WindowEdit()->findChild<QLineEdit*>()->setText(typed);
    editor.WindowEdit()->interpretText();
    EXPECT_EQ(chart.Roster().Source(avg).window, 5) << typed;
  }
  // It follows PPS TI as the refresh cycle adds points, with the editor open.
  for (int i = 50; i < 60; ++i) pps.Add(100 + i * 0.01, i * 1e-10);
  chart.Replot();
  EXPECT_EQ(chart.PlottedCount(avg), 56);
  EXPECT_NEAR(chart.PlottedY(avg, 55), (55 + 56 + 57 + 58 + 59) * 1e-10 / 5, 1e-22);

  // A clone of it follows the same source; a clone of EFC is a copy of its points.
  const int clone = editor.CloneCurrent();
  EXPECT_EQ(chart.Roster().Source(clone), chart.Roster().Source(avg));
  EXPECT_EQ(chart.SeriesColor(clone), chart.SeriesColor(avg));
  editor.SelectSeries(1);
  const int efcCopy = editor.CloneCurrent();
  EXPECT_EQ(chart.Roster().Source(efcCopy).kind, SeriesSourceKind::Copy);
  EXPECT_EQ(chart.PlottedCount(efcCopy), 50);

  // Moving the average up one: the legend and the drawing follow.
  chart.SetLegendVisible(true);
  editor.SelectSeries(avg);
  ASSERT_TRUE(editor.MoveCurrent(-1));
  EXPECT_EQ(chart.SeriesTitle(1), "PPS TI, 5-point average");
  EXPECT_EQ(chart.SeriesTitle(2), "EFC");
  auto* second = dynamic_cast<QCPPlottableLegendItem*>(chart.Plot()->legend->item(1));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->plottable(), chart.Plottable(1));
  const QList<QCPLayerable*> drawn = chart.Plottable(0)->layer()->children();
  EXPECT_LT(drawn.indexOf(chart.Plottable(1)), drawn.indexOf(chart.Plottable(2)));
  EXPECT_EQ(editor.SeriesList()->item(1)->text(), "PPS TI, 5-point average");
  EXPECT_EQ(editor.SeriesList()->currentRow(), 1);

  // A line that follows the average; deleting the average leaves the line as a copy that says so.
  const int line = editor.AddSeries(SeriesSourceKind::LeastSquares);
  editor.SelectSeries(1);
  EXPECT_TRUE(editor.DeleteButton()->isEnabled());
  ASSERT_TRUE(editor.DeleteCurrent());
  const int lineNow = line - 1;
  EXPECT_EQ(chart.SeriesTitle(lineNow), "PPS TI, 5-point average, least-squares line (copy, source deleted)");
  EXPECT_EQ(chart.Roster().Source(lineNow).kind, SeriesSourceKind::Copy);
  pps.Add(101, 1e-9);
  chart.Replot();
  EXPECT_EQ(chart.PlottedCount(lineNow), 2);
  EXPECT_EQ(chart.SeriesCount(), 5);
}

TEST_F(EditorFixture, LegendStandsWhereItsPlaceSays) {
  TChartEditor editor(&chart);
  chart.show();
  struct Case {
    int place;  // -1: hidden
    bool (*where)(const QRect& legend, const QRect& plot);
  };
  const std::vector<Case> cases = {
      {static_cast<int>(LegendPosition::Right), [](const QRect& l, const QRect& p) { return l.left() > p.right(); }},
      {static_cast<int>(LegendPosition::Left), [](const QRect& l, const QRect& p) { return l.right() < p.left(); }},
      {static_cast<int>(LegendPosition::Top), [](const QRect& l, const QRect& p) { return l.bottom() < p.top(); }},
      {static_cast<int>(LegendPosition::Bottom), [](const QRect& l, const QRect& p) { return l.top() > p.bottom(); }},
      {static_cast<int>(LegendPosition::Inside), [](const QRect& l, const QRect& p) { return p.contains(l); }},
  };
  for (const Case& c : cases) {
    editor.LegendPlaceBox()->setCurrentIndex(editor.LegendPlaceBox()->findData(c.place));
    chart.Replot();
    EXPECT_TRUE(chart.LegendVisible());
    EXPECT_EQ(static_cast<int>(chart.LegendAt()), c.place);
    EXPECT_TRUE(c.where(chart.LegendRect(), chart.Plot()->axisRect()->outerRect())) << c.place;
  }
  // Hidden beside the plot: the plot gets its room back.
  const int fullWidth = chart.Plot()->axisRect()->outerRect().width();
  editor.LegendPlaceBox()->setCurrentIndex(editor.LegendPlaceBox()->findData(static_cast<int>(LegendPosition::Right)));
  chart.Replot();
  EXPECT_LT(chart.Plot()->axisRect()->outerRect().width(), fullWidth);
  editor.LegendPlaceBox()->setCurrentIndex(editor.LegendPlaceBox()->findData(-1));
  chart.Replot();
  EXPECT_FALSE(chart.LegendVisible());
  EXPECT_EQ(chart.Plot()->axisRect()->outerRect().width(), fullWidth);
  EXPECT_EQ(chart.LegendAt(), LegendPosition::Right);  // kept for when it is shown again
}

TEST_F(EditorFixture, TreeFollowsSeriesTheProgramAddsAndRemovesWhileOpen) {
  TChartEditor editor(&chart);
  const int avg = editor.AddSeries(SeriesSourceKind::MovingAverage);
  editor.SelectSeries(avg);
  chart.AddFitLine("Linear fit", AxisSide::Right, Qt::black, 100, 32768, 100.5, 32800);
  EXPECT_EQ(editor.SeriesList()->count(), 4);
  EXPECT_EQ(editor.CurrentNode(), EditorNodeKind::Series);
  EXPECT_EQ(editor.SeriesTitleEdit()->text(), chart.SeriesTitle(avg));
  // The program's removal by title finds its fit line whatever the user renamed it to.
  chart.SetSeriesTitle(3, "Renamed");
  EXPECT_EQ(chart.RemoveSeriesTitled("Linear fit"), 1);
  EXPECT_EQ(editor.SeriesList()->count(), 3);
  // The program taking away the series an average follows: the average stays as a copy.
  chart.RemoveSeries(0);
  EXPECT_EQ(editor.SeriesList()->count(), 2);
  EXPECT_TRUE(chart.SeriesTitle(1).endsWith("(copy, source deleted)"));
  chart.Replot();
}

// The main chart with a day of PPS TI, and a 60-point average of it.
TEST(EditorPictures, MainChartWithAMovingAverageAndTheEditorOnIt) {
  TestApp();
  ChartSeries pps{"PPS TI"}, efc{"EFC"};
  std::mt19937 rng(42);
  std::normal_distribution<double> noise(0.0, 1.0);
  const TDateTime start = EncodeDateTime({2026, 3, 7, 8, 0, 0, 0});
  for (int i = 0; i < 8640; ++i) {
    const TDateTime t = start + i * 10 * OneSecond;
    const double ti = (1.2 * std::sin(i / 900.0) + 0.8 * noise(rng)) * 1e-9;
    const double e = 41230 + 18 * std::sin(i / 2500.0) + 0.6 * noise(rng);
    if (i >= 5000 && i < 5200) continue;
    if (i == 0 || i == 5200) {
      pps.AddNull(t, ti);
      efc.AddNull(t, e);
    } else {
      pps.Add(t, ti);
      efc.Add(t, e);
    }
  }
  TTimeChart chart;
  chart.resize(841, 447);
  chart.SetTitle("PPS TI & EFC");
  chart.SetAxisTitle(AxisSide::Left, "PPS TI / s", QColor(0, 0, 255));
  chart.SetAxisNumberFormat(AxisSide::Left, "#.00,\"x10\",E+0");
  chart.SetAxisTitle(AxisSide::Right, "EFC value", QColor(220, 0, 0));
  chart.SetAxisNumberFormat(AxisSide::Right, "0");
  chart.AddSeries(&pps, AxisSide::Left, QColor(0, 0, 255), "PPS TI");
  chart.AddSeries(&efc, AxisSide::Right, QColor(255, 128, 0), "EFC");
  chart.Replot();
  TChartEditor editor(&chart, nullptr, "Chart Editor");
  editor.SelectSeries(0);
  const int avg = editor.AddSeries(SeriesSourceKind::MovingAverage);
  ASSERT_GE(avg, 0);
  EXPECT_EQ(chart.Roster().Source(avg).window, 60);
  editor.LegendPlaceBox()->setCurrentIndex(editor.LegendPlaceBox()->findData(static_cast<int>(LegendPosition::Inside)));
  // The average breaks where PPS TI does and starts again 60 points after the gap.
  const ChartSeries& points = *chart.Roster().Points(avg);
  EXPECT_EQ(points.Count(), 8640u - 200u - 2u * 59u - 1u + 1u);
  chart.Replot();
  EXPECT_TRUE(chart.grab().save(PicturePath("main-chart-moving-average.png")));
  editor.show();
  EXPECT_TRUE(editor.grab().save(PicturePath("editor-tree.png")));
}

}  // namespace

namespace {

TEST_F(EditorFixture, GrabPicture) {
  TChartEditor editor(&chart, nullptr, "Chart Editor");
  editor.SeriesList()->setCurrentRow(1);
  EXPECT_TRUE(editor.grab().save(PicturePath("editor.png")));
  editor.show();
  const std::pair<EditorNodeKind, const char*> pages[] = {{EditorNodeKind::Titles, "editor-titles.png"},
                                                          {EditorNodeKind::Legend, "editor-legend.png"},
                                                          {EditorNodeKind::Axis, "editor-axis.png"},
                                                          {EditorNodeKind::Series, "editor-program-series.png"}};
  for (const auto& [kind, file] : pages) {
    editor.SelectNode(kind, kind == EditorNodeKind::Series ? 0 : -1);
    EXPECT_TRUE(editor.grab().save(PicturePath(file)));
  }
}

}  // namespace
