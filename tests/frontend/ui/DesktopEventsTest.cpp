// Varnex's events in the running program: the simulated receiver put into holdover
// through its control file, the event command run from the refresh tick with the
// settings' values, the notifications tried, and the command's process group ended
// when the program stops.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/ui/DesktopEvents.h"
#include "frontend/ui/DesktopNotifier.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool Running(const std::string& pidFile) {
  const std::string text = ReadAll(pidFile);
  if (text.empty()) return false;
  const std::string stat = ReadAll("/proc/" + std::to_string(std::stoi(text)) + "/stat");
  return !stat.empty() && stat.find(") Z ") == std::string::npos;
}

TEST(DesktopEvents, HoldoverRunsTheCommandAndStoppingEndsIt) {
  TestApplication();
  // No desktop's bus is touched: the notification is tried on a bus that is not there.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/varnex-test-bus", 1);
  const std::string folder = FreshTestFolder("events");
  const std::string runs = folder + "/runs", pid = folder + "/pid";
  const std::string command = folder + "/on-event";
  // The first run hangs, with a child of its own, until the program stops.
  std::ofstream(command) << "#!/bin/sh\necho \"$1|$VARNEX_STATUS|$VARNEX_PREVIOUS_STATUS|$VARNEX_FOLDER\" >>" << runs
                         << "\n[ -e " << pid << " ] && exit 0\nsleep 1000 & echo $! >" << pid << "\nexec sleep 1000\n";
  fs::permissions(command, fs::perms::owner_all);
  std::ofstream(folder + "/control") << "holdover\n";

  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 7, 0}));
  clock.SetRealTimeFactor(0.1);
  SimOptions options;
  options.baud = 0;
  options.clock = &clock;
  options.controlPath = folder + "/control";
  ReceiverSim sim(options);
  ASSERT_TRUE(sim.Start());
  std::ofstream(folder + "/Varnex.ini", std::ios::binary)
      << "[Serial]\r\nDevice=" << sim.SlavePath() << "\r\n[Events]\r\nCommand=" << command << "\r\n";

  SharedReceiverState state;
  VarnexContext context(state, clock, folder);
  auto windows = std::make_unique<VarnexWindows>(context);
  context.MainForm->show();
  ASSERT_NE(context.Events, nullptr);
  EXPECT_EQ(context.EventConfig.Command, command);

  const auto limit = std::chrono::steady_clock::now() + 60s;
  while (!Running(pid) && std::chrono::steady_clock::now() < limit) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(Running(pid)) << ReadAll(runs);
  EXPECT_EQ(ReadAll(runs), "status-changed|HOLD||" + folder + "\n");
  // Status changes notify by default: tried, and said that nothing is shown.
  EXPECT_TRUE(context.Events->Notifier().Unavailable());
  EXPECT_EQ(context.Events->Notifier().Shown(), 0);

  windows.reset();
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (Running(pid) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(Running(pid)) << "the command's child outlived the program";
  sim.Stop();
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
