// The main window as a view of a folder: what it offers, what its status bar says while
// it follows, and pictures of both.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <filesystem>
#include <fstream>
#include <string>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/TimeChart.h"
#include "frontend/DataFile.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StausLogUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {
namespace fs = std::filesystem;

const TDateTime T0 = EncodeDateTime({2026, 12, 9, 14, 0, 0, 0});
constexpr double Ten = 10.0 / 86400.0;

DataRecord Sample(TDateTime t, int i) {
  // A locked oscillator: PPS TI wandering by a few ns, EFC drifting slowly.
  return {t, 3e-9 * std::sin(i / 500.0) + 1e-9 * std::sin(i / 37.0), 32768.25 + i * 0.0004, 2.5e-6,
          8.0 + (i / 900) % 3};
}

std::string Lines(int from, int to) {
  std::string text;
  for (int i = from; i < to; ++i) text += FormatDataLine(Sample(T0 + (i - 8640) * Ten, i)) + "\r\n";
  return text;
}

TEST(ViewWindow, FollowsTheFolderAndSaysSoInTheStatusBar) {
  TestApplication();
  const std::string base = FreshTestFolder("view_window");
  const std::string data = base + "/gpsbox";
  fs::create_directories(data);
  const std::string week = data + "/" + DataFileName(T0);
  std::ofstream(week, std::ios::binary) << Lines(1, 8641);  // the last day, up to T0
  std::ofstream(data + "/VarnexStatus.Txt", std::ios::binary)
      << "2026-12-08 09:12:40: The last Smartclock Status is undefined\r\n"
      << "2026-12-08 09:12:40: Starting with status LOCK\r\n";

  SharedReceiverState state;
  VirtualClock clock(T0 + 5 * Ten / 10);
  VarnexContext context(state, clock, data);
  context.ViewOnly = true;
  context.OwnFolder = base + "/own";
  fs::create_directories(context.OwnFolder);
  VarnexWindows windows(context);
  TMainForm& main = *context.MainForm;
  main.show();
  QApplication::processEvents();

  EXPECT_EQ(main.Series1.Count(), 8640u + 1);  // the day and the file's closing null point
  for (const char* gone : {"SatelliteAzimuthElevationChart1", "SatelliteCNlevels1", "ReceiverStatus1",
                           "ManualCommandEntry1", "DebugWindow1", "Clock", "WritteCommenttoLog1"})
    EXPECT_FALSE(main.Action(gone)->isVisible()) << gone;
  for (const char* kept : {"Parameters1", "EFCSats1", "TimeStab", "OCXODift1", "StatusLog1", "ErrorList1", "About1"}) {
    EXPECT_TRUE(main.Action(kept)->isVisible()) << kept;
    EXPECT_TRUE(main.Action(kept)->isEnabled()) << kept;
  }

  main.Timer1Timer();
  for (QGroupBox* box : context.ParameterForm->findChildren<QGroupBox*>())
    EXPECT_EQ(box->isEnabled(), box->title() != "Serial Port") << box->title().toStdString();

  // The writer adds three lines and a status change; the next tick takes them in.
  std::ofstream(week, std::ios::binary | std::ios::app) << Lines(8641, 8644);
  std::ofstream(data + "/VarnexStatus.Txt", std::ios::binary | std::ios::app)
      << "2026-12-09 14:00:20: The Smartclock Status has changed to HOLD\r\n";
  clock.Advance(30000);
  main.Timer1Timer();
  QApplication::processEvents();
  // Three more, and the two oldest now more than the span of a day before the newest.
  EXPECT_EQ(main.Series1.Count(), 8640u + 1 + 3 - 2);
  EXPECT_EQ(main.Series1.First().x, T0 - 8637 * Ten);
  EXPECT_EQ(main.Series1.Last().y, Sample(0, 8643).PpsTi);
  EXPECT_EQ(main.Series2.Last().y, Sample(0, 8643).Efc);
  EXPECT_EQ(main.StatusPanel(0)->text().toStdString(), "PPS TI = " + FormatScientific3(Sample(0, 8643).PpsTi) + " s");
  EXPECT_EQ(main.StatusPanel(1)->text().toStdString(), "EFC = " + FormatGeneral(Sample(0, 8643).Efc));
  EXPECT_EQ(main.StatusPanel(6)->text(), "Newest line 12-09 14:00:30");
  const QLabel* mark = main.findChild<QLabel*>("ViewMark");
  EXPECT_EQ(mark->text(), "Read-only view of gpsbox");
  EXPECT_TRUE(mark->toolTip().startsWith(QString::fromStdString("Read-only view of " + data + "\n")));
  EXPECT_TRUE(context.StatusLogForm->Memo1()->toPlainText().endsWith("changed to HOLD"));

  const std::string dir = ::testing::TempDir();
  main.grab().save(QString::fromStdString(dir + "varnex_view_main.png"));
  main.statusBar()->grab().save(QString::fromStdString(dir + "varnex_view_statusbar.png"));

  // A minute and a bit without a new line: the writer is marked as stopped.
  clock.Advance(61000);
  main.Timer1Timer();
  EXPECT_EQ(main.StatusPanel(6)->text(), "Writer stopped 12-09 14:00:30");
  main.statusBar()->grab().save(QString::fromStdString(dir + "varnex_view_statusbar_stopped.png"));

  main.close();
  // Only the writer's lines are in the folder; the view's settings went to its own.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(data)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{DataFileName(T0), "VarnexStatus.Txt"}));
  EXPECT_TRUE(fs::exists(context.OwnFolder + "/Varnex.ini"));
}
}  // namespace

namespace {
TEST(ViewWindow, WithoutAFolderOfItsOwnKeepsNoSettingsAndWritesNothing) {
  TestApplication();
  const std::string data = FreshTestFolder("view_window_no_own");
  std::ofstream(data + "/Varnex.ini", std::ios::binary) << "[Graphics]\r\nSpan=600\r\n";
  SharedReceiverState state;
  VirtualClock clock(T0);
  VarnexContext context(state, clock, data);
  context.ViewOnly = true;  // viewing the data folder the viewer would keep its own settings in
  {
    VarnexWindows windows(context);
    // The writer's span is taken, read only.
    EXPECT_EQ(context.Settings.SpanMinutes, 600);
    context.MainForm->close();
  }
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(data)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Varnex.ini"});
  std::ifstream in(data + "/Varnex.ini", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[Graphics]\r\nSpan=600\r\n");
}
}  // namespace
