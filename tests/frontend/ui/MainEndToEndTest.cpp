// Varnex against the simulated receiver on a pseudo-terminal: every window real,
// the poll thread real, time virtual (running ten times faster than the wall).
#include <gtest/gtest.h>

#include "QtTestApp.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "analysis/ui/EFCUnit.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/TimeChart.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/StatusUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"
#include "windows/ui/ClockUnit.h"
#include "windows/ui/LevelUnit.h"
#include "windows/ui/PolarUnit.h"

namespace {

QApplication& App() { return TestApplication(); }

std::size_t LineCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::size_t n = 0;
  for (std::string line; std::getline(in, line);) ++n;
  return n;
}

TEST(MainEndToEnd, TwoPollCyclesFillEveryDisplay) {
  App();
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "varnex_end_to_end";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string folder = dir.string();

  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 7, 0}));
  clock.SetRealTimeFactor(0.1);
  SimOptions options;
  options.family = SimFamily::Z3801;
  options.baud = 0;
  options.clock = &clock;
  // Past power-up and recovery at once, so the screens list tracked satellites.
  options.timings.powerUpSeconds = 1;
  options.timings.recoverySeconds = 1;
  options.timings.holdEveryMinutes = 0;
  ReceiverSim sim(options);
  ASSERT_TRUE(sim.Start());
  {
    std::ofstream ini(folder + "/Varnex.ini", std::ios::binary);
    ini << "[Serial]\r\nDevice=" << sim.SlavePath() << "\r\n";
  }

  SharedReceiverState state;
  VarnexContext context(state, clock, folder);
  auto windows = std::make_unique<VarnexWindows>(context);
  TMainForm* main = context.MainForm;
  main->show();

  // Two status screens handled: two points in each of the four series.
  auto done = [&] {
    for (const ChartSeries* s : {&main->Series1, &main->Series2, &context.EFCForm->Series1, &context.EFCForm->Series2})
      if (s->Count() < 2) return false;
    return true;
  };
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!done() && std::chrono::steady_clock::now() < limit) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(done()) << "series: " << main->Series1.Count() << " " << main->Series2.Count();

  for (const ChartSeries* s : {&main->Series1, &main->Series2, &context.EFCForm->Series1, &context.EFCForm->Series2}) {
    EXPECT_TRUE(s->IsNull(0)) << s->Title();
    EXPECT_FALSE(s->IsNull(1)) << s->Title();
    // One tick of 100 ms is 1 s of this virtual time, and a screen taken after its
    // cycle has ended carries the clock's time rather than the cycle's start.
    EXPECT_NEAR((s->X(1) - s->X(0)) * SecondsPerDay, 10.0, 3.0) << s->Title();
  }
  EXPECT_EQ(main->Chart1()->PlottedCount(0), static_cast<int>(main->Series1.Count()));

  const char* starts[7] = {"PPS TI = ", "EFC = ", "HUP = ", "LIFE = ", "Visible = ", "Tracked = ", ""};
  for (int i = 0; i < 7; ++i) {
    const QString text = main->StatusPanel(i)->text();
    EXPECT_TRUE(text.startsWith(starts[i]) && text.size() > static_cast<int>(strlen(starts[i])))
        << i << " " << text.toStdString();
  }
  EXPECT_TRUE(main->StatusPanel(6)->text().contains("Z3801")) << main->StatusPanel(6)->text().toStdString();

  const auto lines = context.StatusForm->Lines();
  EXPECT_GT(lines.size(), 10u);
  EXPECT_GT(main->Refresh().Satellites.Count, 0);
  EXPECT_FALSE(context.PolarForm->Satellites().empty());
  EXPECT_FALSE(context.LevelForm->Levels().empty());
  EXPECT_EQ(LineCount(folder + "/VarnexData2013CW31.Txt"), 2u);

  context.StatusForm->show();
  QApplication::processEvents();
  const std::string pictures = ::testing::TempDir();
  EXPECT_TRUE(main->grab().save(QString::fromStdString(pictures + "/varnex_end_to_end_main.png")));
  EXPECT_TRUE(context.StatusForm->grab().save(QString::fromStdString(pictures + "/varnex_end_to_end_status.png")));

  const auto stopStart = std::chrono::steady_clock::now();
  windows.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::seconds(3));
  sim.Stop();
}

}  // namespace
