#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QStackedWidget>

#include "WindowsTestSupport.h"
#include "charting/ui/BarChart.h"
#include "charting/ui/ChartEditor.h"
#include "frontend/StatusScreen.h"
#include "windows/ui/LevelUnit.h"

namespace {

struct LevelFormTest : ::testing::Test, WindowFixture {
  void Update(std::initializer_list<SatelliteRow> rows) {
    SatelliteTable table;
    for (const SatelliteRow& r : rows) table.Rows[static_cast<std::size_t>(table.Count++)] = r;
    form.SetLevels(BuildSatelliteDisplay(table, context.Settings.HorizonTable).Bars);
  }
  TLevelForm form{context};
};

TEST_F(LevelFormTest, OneRedBarPerSatelliteInTableOrder) {
  TBarChart* chart = form.Chart1();
  EXPECT_EQ(form.windowTitle(), "Varnex Satellite C/N levels");
  EXPECT_EQ(chart->Title(), "Satellite C/N Chart");
  EXPECT_EQ(chart->AxisTitle(AxisSide::Left), "Satellite C/N in receiver specific units");
  EXPECT_TRUE(chart->AxisAutomatic(AxisSide::Left));
  EXPECT_FALSE(chart->AxisVisible(AxisSide::Bottom));
  EXPECT_FALSE(chart->LegendVisible());
  EXPECT_EQ(chart->SeriesColor(0), QColor(Qt::red));

  Update({{14, 45, 88, 30}, {2, 49, 267, 65}, {31, 0, 10, 10}, {0, 40, 10, 10}, {7, 38, 10, 10}});
  ASSERT_EQ(chart->BarCount(), 3);
  const char* labels[] = {"PRN 14", "PRN 2", "PRN 7"};
  const double values[] = {45, 49, 38};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(chart->BarLabel(i), labels[i]);
    EXPECT_EQ(chart->BarValue(i), values[i]);
  }
  EXPECT_GE(chart->AxisMax(AxisSide::Left), 49.0);  // the automatic range takes the tallest bar

  Update({{31, 0, 10, 10}, {0, 40, 10, 10}});
  EXPECT_EQ(chart->BarCount(), 0);
}

TEST_F(LevelFormTest, WindowShapeAndChartEditor) {
  form.show();
  EXPECT_EQ(form.Chart1()->size(), QSize(523, 339));
  ASSERT_EQ(form.menuBar()->actions().size(), 1);
  EXPECT_EQ(form.menuBar()->actions()[0]->text(), "Chart Editor");

  TChartEditor* seen = nullptr;
  int pages = 0;
  QTimer::singleShot(0, [&] {
    seen = qobject_cast<TChartEditor*>(QApplication::activeModalWidget());
    if (!seen) return;
    if (auto* stack = seen->findChild<QStackedWidget*>()) pages = stack->count();
    seen->TitleEdit()->setText("Signal levels");  // a live edit, as if typed
    emit seen->TitleEdit()->textEdited("Signal levels");
    seen->reject();
  });
  form.ChartEditor1()->trigger();
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(pages, 5);  // series list, titles, legend, axis, series
  EXPECT_EQ(form.Chart1()->Title(), "Signal levels");
  form.hide();
}

TEST_F(LevelFormTest, PictureWithADozenBars) {
  const int prn[12] = {2, 5, 6, 9, 12, 14, 17, 19, 22, 25, 29, 31};
  const int cn[12] = {47, 44, 39, 50, 36, 42, 33, 48, 45, 31, 40, 46};
  SatelliteTable table;
  for (int i = 0; i < 12; ++i)
    table.Rows[static_cast<std::size_t>(table.Count++)] = {prn[i], cn[i], 30 * i, 10 + 6 * i};
  form.SetLevels(BuildSatelliteDisplay(table, context.Settings.HorizonTable).Bars);
  EXPECT_EQ(form.Chart1()->BarCount(), 12);
  form.show();
  ASSERT_TRUE(form.grab().save(PicturePath("varnex_levels.png")));
  form.hide();
}

}  // namespace
