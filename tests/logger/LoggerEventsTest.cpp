// varnex-logger's events on a real pseudo-terminal with the simulated receiver: a
// reference that slips into holdover, comes back, loses its line and finds it again,
// each run of the event command seen with its environment.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "HeadlessLogger.h"
#include "TestFolder.h"
#include "WaitFor.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string l; std::getline(s, l);) lines.push_back(l);
  return lines;
}

TEST(LoggerEvents, CommandRunsThroughHoldoverAndALostLine) {
  const std::string folder = FreshTestFolder("logger");
  const std::string runs = folder + "/runs";
  const std::string command = folder + "/on-event";
  std::ofstream(command) << "#!/bin/sh\nprintf '%s|%s|%s|%s|%s|%s|%s|%s\\n' \"$1\" \"$VARNEX_STATUS\" "
                            "\"$VARNEX_PREVIOUS_STATUS\" \"$VARNEX_MESSAGE\" \"$VARNEX_DEVICE\" \"$VARNEX_FOLDER\" "
                            "\"$VARNEX_RECEIVER\" \"$VARNEX_TIME\" >>"
                         << runs << "\n";
  fs::permissions(command, fs::perms::owner_all);

  // The receiver's state from its control file, replaced whole at each change.
  const std::string controlFile = folder + "/control";
  const auto setState = [&](const std::string& word) {
    std::ofstream(controlFile + ".new") << word << "\n";
    fs::rename(controlFile + ".new", controlFile);
  };
  setState("locked");
  SimOptions options;
  options.baud = 0;
  options.linkPath = folder + "/ttyReceiver";
  options.controlPath = controlFile;
  ReceiverSim sim(options);
  ASSERT_TRUE(sim.Start());
  std::ofstream(folder + "/Varnex.ini", std::ios::binary)
      << "[Serial]\r\nDevice=" << options.linkPath << "\r\n[Events]\r\nCommand=" << command << "\r\n";

  std::mutex saidMutex;
  std::string said;
  SharedReceiverState state;
  SystemClock clock;
  HeadlessLogger logger(folder, state, clock, [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(saidMutex);
    said += line + "\n";
  });
  // The line counts as lost after 12 s without a status screen (cycles come every 10 s).
  logger.Events().Events().SetLostAfterSeconds(12);
  ASSERT_TRUE(logger.Start());
  LoggerControl control;
  std::thread loop([&] { RunLogger(logger, control, [] { std::this_thread::sleep_for(100ms); }); });
  const auto waitRuns = [&](std::size_t n) {
    return WaitFor([&] { return LinesOf(ReadAll(runs)).size() >= n; }, 40s, 100ms);
  };
  // Receiver text made to break out of a shell.
  const std::string hostile = "-100,\"$(touch " + folder + "/pwned);`touch " + folder + "/pwned2`\x01\"";

  EXPECT_TRUE(waitRuns(1));
  setState("holdover");
  // The error only once holdover was seen: within one cycle the two could
  // come in either order.
  EXPECT_TRUE(waitRuns(2));
  sim.SetAnswer(":SYST:ERR?", hostile);
  EXPECT_TRUE(waitRuns(3));
  setState("locked");
  EXPECT_TRUE(waitRuns(4));
  setState("silent");
  EXPECT_TRUE(waitRuns(5));
  setState("locked");
  EXPECT_TRUE(waitRuns(6));
  control.Stop = true;
  loop.join();
  EXPECT_TRUE(logger.Stop());

  const std::string tail = "|" + options.linkPath + "|" + folder + "|";
  const std::string escaped = "-100,\"$(touch " + folder + "/pwned);`touch " + folder + "/pwned2`\\x01\"";
  const std::vector<std::string> expected = {
      "status-changed|LOCK||The reference status changed from undefined to LOCK",
      "status-changed|HOLD|LOCK|The reference status changed from LOCK to HOLD",
      "receiver-error|HOLD||Receiver error: " + escaped,
      "status-changed|LOCK|HOLD|The reference status changed from HOLD to LOCK",
      "line-lost|LOCK||No status from the receiver for ",
      "line-back|LOCK||The receiver answers again",
  };
  const std::vector<std::string> got = LinesOf(ReadAll(runs));
  ASSERT_EQ(got.size(), expected.size()) << ReadAll(runs);
  // Lost once 12 s passed without a status; found at the next look, which a
  // loaded machine may make a cycle late.
  const auto lostFor = std::atoi(got[4].c_str() + expected[4].size());
  EXPECT_GE(lostFor, 12) << got[4];
  EXPECT_LE(lostFor, 35) << got[4];
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].rfind(expected[i], 0), 0u) << got[i];
    EXPECT_NE(got[i].find(tail), std::string::npos) << got[i];
    // The identification as received, and an ISO 8601 UTC time.
    EXPECT_NE(got[i].find("Z3801A"), std::string::npos) << got[i];
    EXPECT_EQ(got[i].back(), 'Z') << got[i];
  }
  EXPECT_FALSE(fs::exists(folder + "/pwned"));
  EXPECT_FALSE(fs::exists(folder + "/pwned2"));
  std::lock_guard<std::mutex> lock(saidMutex);
  EXPECT_NE(said.find("Event command line-lost: exit status 0"), std::string::npos) << said;
  EXPECT_NE(said.find("Event command line-back: exit status 0"), std::string::npos) << said;
}

}  // namespace
