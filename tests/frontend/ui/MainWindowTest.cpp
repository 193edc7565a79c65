#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "analysis/ui/EFCUnit.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/ChartEditor.h"
#include "charting/ui/TimeChart.h"
#include "frontend/DataFile.h"
#include "frontend/StatusLog.h"
#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StatusUnit.h"
#include "frontend/ui/StausLogUnit.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "windows/ui/ClockUnit.h"
#include "windows/ui/LevelUnit.h"
#include "windows/ui/PolarUnit.h"

namespace {

QApplication& App() { return TestApplication(); }

// All windows, with the poll thread stopped so the test alone feeds the shared state.
struct MainWindowTest : ::testing::Test {
  MainWindowTest() : folder((App(), FreshTestFolder("varnex_main"))), context(state, clock, folder) {}
  // Files a test wants in place at start-up are written before this.
  void Start() {
    // Until it is stopped the poll thread waits at the start gate in virtual time,
    // which runs on as fast as it can while the windows are made; the test's time
    // goes back to where it was.
    const TDateTime before = clock.UtcNow();
    windows = std::make_unique<VarnexWindows>(context);
    main = context.MainForm;
    main->ComThread()->RequestStop();
    main->ComThread()->Join(3000);
    clock.Set(before);
    main->Timer1().stop();
    state.DrainTrace();
  }
  ~MainWindowTest() override { windows.reset(); }

  // One poll cycle started at t; the tick handles it when the cycle has ended and
  // CycleTime has moved on with the clock.
  void Cycle(TDateTime t, const std::string& efc, const std::vector<std::string>& screen,
             const std::string& error = {}) {
    state.CycleTime = t;
    state.BeginCycle(t);
    if (!error.empty()) state.Publish(ReceiverValue::Error, error);
    state.Publish(ReceiverValue::PpsTi, "-1.5E-09");
    state.Publish(ReceiverValue::Efc, efc);
    state.Publish(ReceiverValue::Hup, "+2.0E-06,+1.0E-06");
    state.Publish(ReceiverValue::LifeCount, "$3039");
    state.Publish(ReceiverValue::Tracked, "3");
    state.Publish(ReceiverValue::Visible, "9");
    state.Publish(ReceiverValue::Idn, "HEWLETT-PACKARD,Z3801A,3542A01234,3.17");
    state.Publish(ReceiverValue::OscStatus, "LOCK");
    state.ClearStatusLines();
    for (const auto& l : screen) state.AppendStatusLine(l);
    state.FinishStatusLines();
    state.CycleTime = t + 2600 * OneSecond / 1000;
    main->Timer1Timer();
  }

  SharedReceiverState state;
  VirtualClock clock{EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})};
  std::string folder;
  VarnexContext context;
  std::unique_ptr<VarnexWindows> windows;
  TMainForm* main = nullptr;
};

const std::vector<std::string> Screen = {
    "---------------------------- Receiver Status ----------------------------",
    "SmartClock Mode ___________________________   Reference Outputs _______________",
    "Tracking: 3 ____   Not Tracking: 5 ________   Time _____________________________",
    "PRN  El  Az  C/N   PRN  El  Az                UTC      12:00:10     01 Aug 2013",
    "   2  65 267   49    7  12 301                1PPS CLK Synchronized to UTC",
    "  14   7 123   40   19  40 122                ANT DLY  0 ns",
    "  22  40  10    0",
    "HEALTH MONITOR ......................................................... [ OK ]"};

TEST_F(MainWindowTest, LayoutOfChartAndStatusBar) {
  Start();
  EXPECT_EQ(main->size(), QSize(841, 447));
  TTimeChart* chart = main->Chart1();
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->objectName(), "Chart1");
  EXPECT_EQ(chart->Title(), "PPS TI & EFC");
  EXPECT_FALSE(chart->LegendVisible());
  EXPECT_EQ(chart->DateTimeFormat(), "MM-dd hh:mm");
  EXPECT_EQ(chart->AxisTitle(AxisSide::Left), "PPS TI / s");
  EXPECT_EQ(chart->AxisNumberFormat(AxisSide::Left), "#.00,\"x10\",E+0");
  EXPECT_EQ(chart->AxisTitle(AxisSide::Right), "EFC value");
  EXPECT_EQ(chart->AxisNumberFormat(AxisSide::Right), "0");
  EXPECT_FALSE(chart->AxisGrid(AxisSide::Right));
  ASSERT_EQ(chart->SeriesCount(), 2);
  EXPECT_EQ(chart->SeriesTitle(0), "PPS TI");
  EXPECT_EQ(chart->SeriesColor(0), QColor(0, 0, 255));
  EXPECT_EQ(chart->SeriesTitle(1), "EFC");
  EXPECT_EQ(chart->SeriesColor(1), QColor(255, 128, 0));
  EXPECT_EQ(chart->Model(0), &main->Series1);
  EXPECT_EQ(chart->Model(1), &main->Series2);
  // Empty right after start: the span ending now, not day zero of the date count.
  main->show();
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(chart->AxisMax(AxisSide::Bottom), clock.UtcNow());
  EXPECT_DOUBLE_EQ(chart->AxisMin(AxisSide::Bottom), clock.UtcNow() - 1.0);
  ASSERT_TRUE(main->grab().save(QString::fromStdString(::testing::TempDir() + "/varnex_main_empty.png")));

  EXPECT_EQ(main->statusBar()->objectName(), "StatusBar1");
  const int widths[7] = {130, 110, 110, 110, 75, 85, 200};
  for (int i = 0; i < 7; ++i) EXPECT_GE(main->StatusPanel(i)->width(), widths[i]) << i;
  // Each panel has room for its widest usual reading.
  main->StatusPanel(0)->setText("PPS TI = -1.50E-09 s");
  EXPECT_LE(main->StatusPanel(0)->sizeHint().width(), main->StatusPanel(0)->width());
}

TEST_F(MainWindowTest, TwoCyclesFillEveryDisplay) {
  Start();
  const TDateTime t0 = EncodeDateTime({2013, 8, 1, 12, 0, 10, 0});
  Cycle(t0, "32768", Screen);
  Cycle(t0 + 10 * OneSecond, "32768.25", Screen);

  EXPECT_EQ(main->StatusPanel(0)->text(), "PPS TI = -1.50E-09 s");
  EXPECT_EQ(main->StatusPanel(1)->text(), "EFC = 32768.25");
  EXPECT_EQ(main->StatusPanel(2)->text(), "HUP = 2.00E-06 s");
  EXPECT_EQ(main->StatusPanel(3)->text(), "LIFE = 12345");
  EXPECT_EQ(main->StatusPanel(4)->text(), "Visible = 9");
  EXPECT_EQ(main->StatusPanel(5)->text(), "Tracked = 3");
  EXPECT_EQ(main->StatusPanel(6)->text(), "HEWLETT-PACKARD,Z3801A,3542A01234,3.17");

  for (ChartSeries* s : {&main->Series1, &main->Series2, &context.EFCForm->Series1, &context.EFCForm->Series2}) {
    ASSERT_EQ(s->Count(), 2u) << s->Title();
    EXPECT_TRUE(s->IsNull(0)) << s->Title();
    EXPECT_FALSE(s->IsNull(1)) << s->Title();
  }
  TTimeChart* chart = main->Chart1();
  ASSERT_EQ(chart->PlottedCount(0), 2);
  EXPECT_TRUE(std::isnan(chart->PlottedY(0, 0)));
  EXPECT_DOUBLE_EQ(chart->PlottedY(0, 1), -1.5e-9);
  EXPECT_EQ(chart->AxisNumberFormat(AxisSide::Right), "0.000000");

  const std::vector<std::string> shown = context.StatusForm->Lines();
  EXPECT_EQ(shown, Screen);
  ASSERT_EQ(context.PolarForm->Satellites().size(), 2u);
  EXPECT_EQ(context.PolarForm->Satellites()[1].Label, "PRN: 14 C/N: 40");
  ASSERT_EQ(context.LevelForm->Levels().size(), 2u);
  EXPECT_EQ(context.LevelForm->Levels()[0].Label, "PRN 2");
  EXPECT_EQ(context.PolarForm->HorizonUpdates(), 2);
  EXPECT_EQ(context.Settings.HorizonTable[123], 7);
  EXPECT_EQ(context.Settings.HorizonTable[10], 90);  // C/N 0 teaches nothing
}

TEST_F(MainWindowTest, TimeCodeDrivesClockMenuAndClockWindow) {
  Start();
  QAction* clockItem = main->Action("Clock");
  clock.Set(EncodeDateTime({2013, 8, 1, 12, 0, 0, 950}));
  main->Timer1Timer();
  clock.Advance(100);
  state.Publish(ReceiverValue::TimeCode, "T22013080112345600");
  main->Timer1Timer();
  EXPECT_TRUE(clockItem->isEnabled());
  EXPECT_EQ(FormatStamp(context.ClockForm->Shown()), "2013-08-01 12:34:55");

  state.Publish(ReceiverValue::TimeCode, "T2201308011234560");
  main->Timer1Timer();
  EXPECT_FALSE(clockItem->isEnabled());
}

TEST_F(MainWindowTest, ViewMenuShowsTheWindows) {
  Start();
  struct Item {
    const char* action;
    QWidget* window;
  };
  const Item items[] = {{"ReceiverStatus1", reinterpret_cast<QWidget*>(context.StatusForm)},
                        {"SatelliteAzimuthElevationChart1", reinterpret_cast<QWidget*>(context.PolarForm)},
                        {"SatelliteCNlevels1", reinterpret_cast<QWidget*>(context.LevelForm)},
                        {"EFCSats1", reinterpret_cast<QWidget*>(context.EFCForm)}};
  for (const Item& item : items) {
    ASSERT_NE(main->Action(item.action), nullptr) << item.action;
    main->Action(item.action)->trigger();
    EXPECT_TRUE(item.window->isVisible()) << item.action;
    item.window->hide();
  }
}

TEST_F(MainWindowTest, HostileStatusScreenIsShownAndParsedSafely) {
  Start();
  // A status screen made of every byte, very long lines and many rows is just text.
  std::vector<std::string> screen = {"title", "PRN"};
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  screen.push_back(bytes);
  screen.push_back(std::string(10240, '7'));
  for (int i = 0; i < 1000; ++i) screen.push_back(" " + std::to_string(i + 1) + " 10 20 30");
  state.Publish(ReceiverValue::Tracked, "1000");
  EXPECT_NO_THROW(Cycle(EncodeDateTime({2013, 8, 1, 12, 0, 10, 0}), "1E999", screen));
  EXPECT_EQ(context.StatusForm->Memo1()->document()->blockCount(), static_cast<int>(screen.size()));
  EXPECT_LE(context.LevelForm->Levels().size(), 24u);
}

TEST_F(MainWindowTest, PictureOfADayOfData) {
  Start();
  // A day of a locked receiver: PPS TI wandering by a few ns, EFC drifting slowly,
  // with one ten-minute outage that must show as a gap.
  const TDateTime start = EncodeDateTime({2013, 8, 1, 0, 0, 0, 0});
  for (int i = 0; i < 8640; ++i) {
    if (i >= 4000 && i < 4060) continue;
    const TDateTime t = start + i * 10 * OneSecond;
    const bool null = i == 0 || i == 4060;
    const double pps = 2e-9 * std::sin(i / 300.0) + 0.6e-9 * std::sin(i / 17.0);
    const double efc = 32768.0 + 40.0 * i / 8640.0 + 3.0 * std::sin(i / 900.0);
    null ? main->Series1.AddNull(t, pps) : main->Series1.Add(t, pps);
    null ? main->Series2.AddNull(t, efc) : main->Series2.Add(t, efc);
  }
  main->Refresh().LastPointTime = start + 8639 * 10 * OneSecond;
  Cycle(start + 8640 * 10 * OneSecond, "32808.25", Screen);
  main->show();
  context.StatusForm->show();
  const std::string dir = ::testing::TempDir();
  ASSERT_TRUE(main->grab().save(QString::fromStdString(dir + "/varnex_main.png")));
  ASSERT_TRUE(context.StatusForm->grab().save(QString::fromStdString(dir + "/varnex_status.png")));
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST_F(MainWindowTest, WritesDataLinesAndLogs) {
  Start();
  const TDateTime t0 = EncodeDateTime({2013, 8, 1, 12, 0, 10, 0});
  Cycle(t0, "32768.25", Screen, "-113,\"Undefined header\"");
  Cycle(t0 + 10 * OneSecond, "32768.25", Screen, "-113,\"Undefined header\"");

  const auto data = ReadLines(folder + "/VarnexData2013CW31.Txt");
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[0], FormatDataLine({t0, -1.5e-9, 32768.25, 2e-6, 3}));
  EXPECT_EQ(ReadLines(folder + "/VarnexStatus.Txt"),
            (std::vector<std::string>{"2013-08-01 12:00:10: The last Smartclock Status is undefined",
                                      "2013-08-01 12:00:10: Starting with status LOCK"}));
  EXPECT_EQ(ReadLines(folder + "/VarnexError.Txt"),
            (std::vector<std::string>{"2013-08-01 12:00:10: -113,\"Undefined header\""}));
  EXPECT_TRUE(context.ErrorForm->Memo()->toPlainText().contains("Undefined header"));
}

TEST_F(MainWindowTest, StartLoadsHistoryAndLastStatusAndStopSavesSettings) {
  // Written before start: two lines of data within the span, a status history ending in LOCK.
  const TDateTime t = EncodeDateTime({2013, 8, 1, 11, 0, 0, 0});
  {
    std::ofstream data(folder + "/VarnexData2013CW31.Txt", std::ios::binary);
    data << FormatDataLine({t, 1e-9, 32768, 2e-6, 7}) << "\r\n"
         << FormatDataLine({t + 10 * OneSecond, 2e-9, 32769, 2e-6, 7}) << "\r\n";
    std::ofstream status(folder + "/VarnexStatus.Txt", std::ios::binary);
    status << "2013-08-01 10:00:00: The Smartclock Status has changed to LOCK\r\n"
           << "2013-08-01 10:30:00: User comment: antenna cable replaced\r\n";
  }
  Start();
  // Two loaded points and the closing null point of the file.
  ASSERT_EQ(main->Series1.Count(), 3u);
  EXPECT_TRUE(main->Series1.IsNull(0));
  EXPECT_FALSE(main->Series1.IsNull(1));
  EXPECT_TRUE(main->Series1.IsNull(2));

  Cycle(EncodeDateTime({2013, 8, 1, 12, 0, 10, 0}), "32768", Screen);
  EXPECT_EQ(ReadLines(folder + "/VarnexStatus.Txt").size(), 2u);  // LOCK again: nothing new

  windows.reset();
  const auto ini = ReadLines(folder + "/Varnex.ini");
  EXPECT_NE(std::find(ini.begin(), ini.end(), "Az[123]=7"), ini.end());
}

// A power cut loses at most ten minutes of what the sky view learned.
TEST_F(MainWindowTest, ALearnedHorizonReachesTheSettingsFileWithinTenMinutes) {
  Start();
  const TDateTime start = clock.UtcNow();
  const auto saved = [&] {
    const auto ini = ReadLines(folder + "/Varnex.ini");
    return std::find(ini.begin(), ini.end(), "Az[123]=7") != ini.end();
  };
  Cycle(EncodeDateTime({2013, 8, 1, 12, 0, 10, 0}), "32768", Screen);  // PRN 14 low at azimuth 123
  EXPECT_FALSE(saved());
  clock.Set(start + 599 * OneSecond);
  main->Timer1Timer();
  EXPECT_FALSE(saved());
  clock.Set(start + 600 * OneSecond);
  main->Timer1Timer();
  EXPECT_TRUE(saved());
}

TEST_F(MainWindowTest, ChartEditorOpensOnTheMainChart) {
  Start();
  TChartEditor* seen = nullptr;
  QTimer::singleShot(0, [&] {
    seen = qobject_cast<TChartEditor*>(QApplication::activeModalWidget());
    if (seen) seen->reject();
  });
  main->Action("Charteditor1")->trigger();
  ASSERT_NE(seen, nullptr);
}

TEST_F(MainWindowTest, ParametersDialogReloadsTheChartsFromTheDataFiles) {
  Start();
  main->Timer1Timer();  // joins the windows
  ASSERT_TRUE(static_cast<bool>(context.ParameterForm->ReloadCharts));
  main->Series1.Add(1.0, 1.0);
  context.EFCForm->Series1.Add(1.0, 1.0);
  {
    const TDateTime t = EncodeDateTime({2013, 8, 1, 11, 0, 0, 0});
    std::ofstream data(folder + "/VarnexData2013CW31.Txt", std::ios::binary);
    data << FormatDataLine({t, 1e-9, 32768, 2e-6, 7}) << "\r\n";
  }
  context.ParameterForm->ReloadCharts();
  // One line and the file's closing null point, in all four series.
  for (ChartSeries* s : {&main->Series1, &main->Series2, &context.EFCForm->Series1, &context.EFCForm->Series2}) {
    ASSERT_EQ(s->Count(), 2u) << s->Title();
    EXPECT_TRUE(s->IsNull(1)) << s->Title();
  }
  EXPECT_DOUBLE_EQ(context.EFCForm->Series2.Y(0), 7.0);
}

TEST_F(MainWindowTest, WriteCommentMenuLogsTheComment) {
  Start();
  state.CycleTime = EncodeDateTime({2013, 8, 2, 8, 3, 20, 0});
  QTimer::singleShot(0, [] {
    if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      box->setTextValue("antenna cable replaced");
      box->accept();
    }
  });
  main->Action("WritteCommenttoLog1")->trigger();
  EXPECT_EQ(ReadLines(folder + "/VarnexStatus.Txt"),
            std::vector<std::string>{"2013-08-02 08:03:20: User comment: antenna cable replaced"});
}

TEST(MainStop, UnwritableSettingsFileDoesNotHoldUpTheStop) {
  App();
  const std::string folder = FreshTestFolder("varnex_main");
  // A folder where the settings file should be: it can be neither read nor written.
  std::filesystem::create_directories(folder + "/Varnex.ini");
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context(state, clock, folder);
  VarnexWindows windows(context);
  ASSERT_TRUE(context.MainForm->ComThread()->Running());
  EXPECT_FALSE(context.MainForm->SaveSettingsNow());
  const auto start = std::chrono::steady_clock::now();
  context.MainForm->close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_FALSE(context.MainForm->ComThread()->Running());
  EXPECT_FALSE(context.MainForm->Timer1().isActive());
}

}  // namespace

namespace {

TEST_F(MainWindowTest, TimeAxisReadsWellAtEverySpan) {
  Start();
  main->resize(841, 447);
  main->show();
  TTimeChart* chart = main->Chart1();
  QCPAxis* axis = chart->Plot()->xAxis;
  const QFontMetricsF metrics(axis->tickLabelFont());
  const TDateTime end = EncodeDateTime({2013, 8, 1, 11, 14, 20, 0});
  for (int span : {1, 2, 10, 60, 1440, 14400}) {
    main->Series1.Clear();
    main->Series2.Clear();
    const int points = span * 6;
    for (int i = 0; i <= points; ++i) {
      const TDateTime t = end - (points - i) * 10 * OneSecond;
      // A few slow swings over the span, so each picture shows its shape.
      const double phase = 2 * M_PI * i / points;
      main->Series1.Add(t, 2e-9 * std::sin(3 * phase) + 0.3e-9 * std::sin(i / 7.0));
      main->Series2.Add(t, 32768.0 + 3.0 * std::cos(2 * phase));
    }
    chart->Replot();
    const QVector<double> ticks = axis->tickVector();
    const QVector<QString> labels = axis->tickVectorLabels();
    const std::string name = std::to_string(span) + " min: " + labels.toList().join(" | ").toStdString();
    if (span >= 4)
      EXPECT_GE(ticks.size(), 4) << name;
    else
      EXPECT_GE(ticks.size(), 1) << name;
    for (int i = 0; i < ticks.size(); ++i) {
      // On whole minutes; at least a fifth of a label's width between neighbours.
      EXPECT_NEAR(ticks[i] * 1440.0, std::round(ticks[i] * 1440.0), 1e-6) << name;
      if (i == 0) continue;
      EXPECT_NE(labels[i], labels[i - 1]) << name;
      const double gap = axis->coordToPixel(ticks[i]) - axis->coordToPixel(ticks[i - 1]);
      const double halfWidths = (metrics.horizontalAdvance(labels[i]) + metrics.horizontalAdvance(labels[i - 1])) / 2;
      EXPECT_GE(gap - halfWidths, metrics.horizontalAdvance(labels[i]) / 5.0 - 0.5) << name;
    }
    if (span == 2 || span == 1440 || span == 14400) {
      ASSERT_TRUE(main->grab().save(
          QString::fromStdString(::testing::TempDir() + "/varnex_main_" + std::to_string(span) + ".png")));
    }
    std::cout << name << "\n";
  }
}

TEST_F(MainWindowTest, ASecondOkDuringAReloadNeverDoublesThePoints) {
  // Three days of lines, enough for the load to let events run many times.
  const TDateTime now = clock.UtcNow();
  {
    std::ofstream data(folder + "/" + DataFileName(now), std::ios::binary);
    for (int i = 3 * 8640; i >= 1; --i)
      data << FormatDataLine({now - (i * 10 + 5) * OneSecond, 1e-9, 32768, 2e-6, 7}) << "\r\n";
  }
  Start();
  main->Timer1Timer();  // joins the windows
  context.Settings.SpanMinutes = 60;
  TParameterForm* form = context.ParameterForm;
  form->show();
  form->Spanedit->setValue(1440);
  bool secondOk = false;
  QTimer::singleShot(0, [&] {
    // Still reloading for the first "Ok": the user raises the span again and confirms.
    secondOk = main->Reloading();
    form->show();
    form->Spanedit->setValue(2880);
    form->Button1Click();
  });
  EXPECT_TRUE(form->Button1Click());
  EXPECT_TRUE(secondOk);
  EXPECT_FALSE(main->Reloading());
  EXPECT_EQ(context.Settings.SpanMinutes, 2880);
  // Every line of the larger span once (none twice), and the file's closing null point.
  for (ChartSeries* s : {&main->Series1, &main->Series2, &context.EFCForm->Series1, &context.EFCForm->Series2}) {
    ASSERT_GT(s->Count(), 8640u + 1) << s->Title();
    for (std::size_t i = 1; i + 1 < s->Count(); ++i) ASSERT_LT(s->X(i - 1), s->X(i)) << s->Title() << " " << i;
    EXPECT_TRUE(s->IsNull(s->Count() - 1)) << s->Title();
  }
}

}  // namespace
