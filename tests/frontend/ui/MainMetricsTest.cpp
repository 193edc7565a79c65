// Varnex's main window feeds the metrics at the end of its refresh tick: with
// [Metrics] set, a scrape and the metrics file show what the window shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/MetricsText.h"
#include "frontend/RefreshRules.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "metrics/MetricsTestHelpers.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

TEST(MainMetrics, TheTickFeedsTheEndpointAndTheFile) {
  TestApplication();
  const std::string folder = FreshTestFolder("varnex_metrics");
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 7, 0}));
  clock.SetRealTimeFactor(0.1);
  SimOptions options;
  options.baud = 0;
  options.clock = &clock;
  options.timings.powerUpSeconds = 1;
  options.timings.recoverySeconds = 1;
  options.timings.holdEveryMinutes = 0;
  ReceiverSim sim(options);
  ASSERT_TRUE(sim.Start());
  // A port of our own choosing that is free now.
  MetricsServer probe;
  ASSERT_TRUE(probe.Start({"127.0.0.1", 0}));
  const int port = probe.Port();
  probe.Stop();
  std::ofstream(folder + "/Varnex.ini", std::ios::binary)
      << "[Serial]\r\nDevice=" << sim.SlavePath() << "\r\n[Metrics]\r\nListen=" << port << "\r\nFile=" << folder
      << "/varnex.prom\r\n";

  SharedReceiverState state;
  VarnexContext context(state, clock, folder);
  auto windows = std::make_unique<VarnexWindows>(context);
  TMainForm* main = context.MainForm;
  main->show();
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (main->Metrics().Snapshot().DataLines < 2 && std::chrono::steady_clock::now() < limit) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(main->Metrics().Snapshot().DataLines, 2u);

  const std::string body = BodyOf(HttpGet(port, "/metrics"));
  const RefreshCycle& r = main->Refresh();
  ASSERT_TRUE(r.PpsTiValid && r.EfcValid);
  std::string expected;
  WriteExposition(main->Metrics().Snapshot(), expected);
  EXPECT_EQ(body, expected);
  char line[96];
  std::snprintf(line, sizeof line, "\nvarnex_efc %.17g\n", r.EfcValue);
  EXPECT_NE(body.find(line), std::string::npos) << body;
  EXPECT_NE(body.find("\nvarnex_data_lines_total 2\n"), std::string::npos);
  EXPECT_NE(body.find("\nvarnex_link_up 1\n"), std::string::npos);
  EXPECT_NE(body.find("model=\"Z3801A\""), std::string::npos);
  std::ifstream file(folder + "/varnex.prom", std::ios::binary);
  const std::string written{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_EQ(written, body);
  windows.reset();
  sim.Stop();
}
