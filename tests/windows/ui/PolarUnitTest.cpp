#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QPainter>
#include <QPrintPreviewDialog>

#include "WindowsTestSupport.h"
#include "app/ui/Startup.h"
#include "charting/ui/PolarChart.h"
#include "frontend/BigIni.h"
#include "frontend/Settings.h"
#include "frontend/StatusScreen.h"
#include "frontend/ui/MainUnit.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "receiver_sim/ReceiverModel.h"
#include "windows/ui/PolarUnit.h"

namespace {

const char* const ResetQuestion = "It will take at least 12 h to\nacquire a new horizon line\n \nContinue ?";

struct PolarFormTest : ::testing::Test, WindowFixture {
  // The form saves through the same load/save pair the main window uses.
  void Create() {
    form = std::make_unique<TPolarForm>(context);
    form->SaveSettings = [this](std::string* error) { return ::SaveSettings(*ini, port, context.Settings, error); };
    form->ShowError = [this](const QString& text) { errors.push_back(text); };
  }
  // One status update as the main window runs it.
  void Update(std::initializer_list<SatelliteRow> rows) {
    SatelliteTable table;
    for (const SatelliteRow& r : rows) table.Rows[static_cast<std::size_t>(table.Count++)] = r;
    form->SetSatellites(BuildSatelliteDisplay(table, context.Settings.HorizonTable).Sky);
    form->UpdateHorizonLine();
  }

  T_AdvCom32 port;
  std::unique_ptr<TAppIniFile> ini = std::make_unique<TAppIniFile>(folder.Path());
  std::unique_ptr<TPolarForm> form;
  std::vector<QString> errors;
};

TEST_F(PolarFormTest, ChartFollowsTheLoadedTableAndTheStatusUpdates) {
  context.Settings.HorizonTable[0] = 20;
  context.Settings.HorizonTable[10] = 40;
  Create();
  TPolarChart* chart = form->Chart1();
  EXPECT_EQ(form->windowTitle(), "Varnex Satellite Azimuth/Elevation Chart");
  EXPECT_TRUE(chart->Title().isEmpty());
  EXPECT_EQ(chart->HorizonElevation(1), 20.0);  // angle 359: one degree east of north
  EXPECT_EQ(chart->HorizonElevation(11), 40.0);
  EXPECT_EQ(chart->HorizonElevation(0), 90.0);

  Update({{9, 41, 200, 5}, {7, 42, 0, 30}, {4, 0, 100, 3}, {0, 30, 100, 3}});
  ASSERT_EQ(chart->PointCount(), 2);  // C/N 0 and PRN 0 show nothing
  EXPECT_EQ(chart->PointAzimuth(0), 200.0);
  EXPECT_EQ(chart->PointElevation(0), 5.0);
  EXPECT_EQ(chart->PointAzimuth(1), 0.0);  // angle 360 is north
  EXPECT_EQ(chart->PointLabel(1), "PRN: 7 C/N: 42");
  EXPECT_EQ(chart->HorizonElevation(201), 5.0);

  form->resize(401, 420);
  EXPECT_EQ(chart->TipTextAt(chart->ToPixel(200, 5).toPoint()), "PRN: 9 C/N: 41");
  EXPECT_TRUE(chart->TipTextAt(chart->ToPixel(90, 45).toPoint()).isEmpty());

  // Raised from outside while running: the drawn line keeps its place.
  context.Settings.HorizonTable[10] = 80;
  Update({{9, 41, 200, 12}});
  EXPECT_EQ(chart->HorizonElevation(11), 40.0);
  EXPECT_EQ(chart->HorizonElevation(201), 5.0);
  ASSERT_EQ(chart->PointCount(), 1);
  EXPECT_EQ(chart->PointElevation(0), 12.0);
  Update({});
  EXPECT_EQ(chart->PointCount(), 0);
}

TEST_F(PolarFormTest, WhatIsDrawnFollowsTheLineAndThePoints) {
  Create();
  form->resize(401, 420);
  TPolarChart* chart = form->Chart1();
  const QImage before = form->grab().toImage().copy(chart->geometry());  // lays the window out
  const QPoint wedge = chart->ToPixel(91, 45).toPoint(), dot = chart->ToPixel(300, 60).toPoint();
  // A wedge of sky seen from 80 to 100 degrees down to 10, and one satellite elsewhere.
  SatelliteTable table;
  for (int az = 80; az <= 100; ++az) table.Rows[static_cast<std::size_t>(table.Count++)] = {az - 70, 40, az, 10};
  form->SetSatellites(BuildSatelliteDisplay(table, context.Settings.HorizonTable).Sky);
  form->UpdateHorizonLine();
  form->SetSatellites({{60, 30, "PRN: 3 C/N: 44"}});
  const QImage after = chart->grab().toImage();
  EXPECT_GT(qBlue(before.pixel(wedge)) - qRed(before.pixel(wedge)),
            qBlue(after.pixel(wedge)) - qRed(after.pixel(wedge)));
  EXPECT_NE(before.pixel(wedge), after.pixel(wedge));  // no longer tinted as unseen
  EXPECT_EQ(after.pixelColor(dot), QColor(0xFF, 0x80, 0x00));
  EXPECT_NE(before.pixelColor(dot), QColor(0xFF, 0x80, 0x00));
}

TEST_F(PolarFormTest, ResetAsksAndOnlyYesForgetsAndSavesAtOnce) {
  context.Settings.HorizonTable[200] = 5;
  Create();
  ASSERT_TRUE(::SaveSettings(*ini, port, context.Settings));
  const std::string file = folder.File("Varnex.ini");
  const std::string saved = ReadFileBytes(file);
  ASSERT_NE(saved.find("Az[200]=5"), std::string::npos);

  for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::NoButton}) {
    SeenBox box;
    AnswerNextBox(answer, box);
    form->ResetHorizonLine1()->trigger();
    ASSERT_TRUE(box.Seen);
    EXPECT_EQ(box.Caption, "Attention");
    EXPECT_EQ(box.Text, ResetQuestion);
    EXPECT_EQ(context.Settings.HorizonTable[200], 5);
    EXPECT_EQ(form->Chart1()->HorizonElevation(201), 5.0);
    EXPECT_EQ(ReadFileBytes(file), saved);
  }

  SeenBox box;
  AnswerNextBox(QMessageBox::Yes, box);
  form->ResetHorizonLine1()->trigger();
  ASSERT_TRUE(box.Seen);
  for (int az = 0; az < 360; ++az) ASSERT_EQ(context.Settings.HorizonTable[az], 90) << az;
  for (double r : form->Horizon().Radius) ASSERT_EQ(r, 0.0);
  EXPECT_EQ(form->Chart1()->HorizonElevation(201), 90.0);
  EXPECT_NE(ReadFileBytes(file).find("Az[200]=90"), std::string::npos);
  EXPECT_TRUE(errors.empty());
}

TEST_F(PolarFormTest, UnwritableSettingsShowTheErrorKeepTheHorizonAndTheWindowOpen) {
  context.Settings.HorizonTable[200] = 5;
  // A folder where the settings file should be: it cannot be written.
  std::filesystem::create_directories(folder.File("Varnex.ini"));
  Create();
  form->show();
  ASSERT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_FALSE(errors[0].isEmpty());
  EXPECT_EQ(context.Settings.HorizonTable[200], 5);

  SeenBox box;
  AnswerNextBox(QMessageBox::Yes, box);
  form->ResetHorizonLine1()->trigger();
  EXPECT_EQ(errors.size(), 2u);
  EXPECT_EQ(context.Settings.HorizonTable[200], 90);  // reset in memory all the same

  // A writable file again: closing saves and hides.
  std::filesystem::remove_all(folder.File("Varnex.ini"));
  ini = std::make_unique<TAppIniFile>(folder.Path());
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_NE(ReadFileBytes(folder.File("Varnex.ini")).find("Az[200]=90"), std::string::npos);
}

TEST_F(PolarFormTest, WindowShapeAndMenu) {
  Create();
  form->show();
  EXPECT_EQ(form->Chart1()->size(), QSize(401, 389));
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  QStringList items;
  for (QAction* a : form->menuBar()->actions()) items << a->text();
  EXPECT_EQ(items, (QStringList{"&Reset Horizon Line", "&Print"}));
  QWidget* preview = nullptr;
  QTimer::singleShot(0, [&] {
    preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
    if (preview) preview->close();
  });
  form->Print1()->trigger();
  EXPECT_NE(preview, nullptr);
  // The chart stays a true circle in any window shape.
  form->resize(700, 300);
  const QPointF c = form->Chart1()->ToPixel(0, 90);
  const QPointF north = form->Chart1()->ToPixel(0, 0), east = form->Chart1()->ToPixel(90, 0);
  EXPECT_NEAR(c.y() - north.y(), east.x() - c.x(), 0.5);
  form->hide();
}

// Several hours of the simulated receiver: its building (200 to 250 degrees, below 30)
// must stand out of the learned horizon.
TEST_F(PolarFormTest, PictureAfterHoursOfTheSimulatedSky) {
  Create();
  state.TraceHold = true;
  ReceiverModel model(SimFamily::Z3801, 7);
  SatelliteTable table;
  const TDateTime start = EncodeDateTime({2013, 8, 1, 0, 0, 0, 0});
  for (int i = 0; i <= 18 * 360; ++i) {
    model.AdvanceTo(start + i * 10 * OneSecond);
    GetTrackedData(model.StatusScreen(), model.TrackedCount(), table, state);
    form->SetSatellites(BuildSatelliteDisplay(table, context.Settings.HorizonTable).Sky);
    form->UpdateHorizonLine();
  }
  // Behind the building nothing low was ever seen; around it the sky is open.
  const auto& h = context.Settings.HorizonTable;
  for (int az = 201; az < 250; ++az) EXPECT_GE(h[az], 30) << az;
  int open = 0;
  for (int az = 0; az < 360; ++az) open += (az < 190 || az > 260) && h[az] < 20;
  EXPECT_GT(open, 200);
  EXPECT_GT(form->Chart1()->PointCount(), 4);

  form->show();
  ASSERT_TRUE(form->grab().save(PicturePath("varnex_sky.png")));
  form->hide();
}

// With all windows: the line comes from the settings file the main window loaded, and
// the reset reaches that file through the main window's save.
TEST(PolarFormInProgram, LearnedHorizonComesFromAndGoesToTheSettingsFile) {
  WindowFixture f;
  {
    std::ofstream ini(f.folder.File("Varnex.ini"), std::ios::binary);
    ini << "[Horizont]\r\nAz[200]=5\r\n";
  }
  VarnexWindows windows(f.context);
  f.context.MainForm->ComThread()->RequestStop();
  f.context.MainForm->ComThread()->Join(3000);
  f.context.MainForm->Timer1().stop();
  TPolarForm* form = f.context.PolarForm;
  EXPECT_EQ(form->Horizon().Radius[159], 85.0);

  SeenBox box;
  AnswerNextBox(QMessageBox::Yes, box);
  form->ResetHorizonLine1()->trigger();
  ASSERT_TRUE(box.Seen);
  const std::string saved = ReadFileBytes(f.folder.File("Varnex.ini"));
  EXPECT_NE(saved.find("Az[200]=90"), std::string::npos);
  EXPECT_NE(saved.find("[Serial]"), std::string::npos);  // all settings, not the horizon alone
}

}  // namespace
