#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>

#include "TestApp.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/TimeChart.h"

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
  void SelectAxis(TChartEditor& editor, AxisSide side) {
    editor.AxisBox()->setCurrentIndex(editor.AxisBox()->findData(static_cast<int>(side)));
  }
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
  editor.LegendBox()->setChecked(true);
  EXPECT_TRUE(chart.LegendVisible());
}

}  // namespace

namespace {

TEST_F(EditorFixture, GrabPicture) {
  TChartEditor editor(&chart, nullptr, "Chart Editor");
  editor.SeriesList()->setCurrentRow(1);
  EXPECT_TRUE(editor.grab().save(PicturePath("editor.png")));
}

}  // namespace
