// Varnex viewing a folder that a running varnex-logger writes, and several Varnex side
// by side: the real programs against simulated receivers on pseudo-terminals, every
// wait bounded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "QtTestApp.h"
#include "TestFolder.h"
#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "frontend/DataFile.h"
#include "frontend/RefreshRules.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Every whole data line of the folder, oldest file first.
std::vector<DataRecord> DataRecords(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind("VarnexData", 0) == 0) names.push_back(e.path().string());
  std::sort(names.begin(), names.end());
  std::vector<DataRecord> records;
  for (const std::string& n : names) {
    std::istringstream in(ReadAll(n));
    std::string line;
    DataRecord r;
    while (std::getline(in, line))
      if (!line.empty() && line.back() == '\r' && ParseDataLine(line, r)) records.push_back(r);
  }
  return records;
}

// The lines of the last day: those the chart's span of 1440 minutes holds.
std::vector<DataRecord> Recent(const std::string& folder) {
  SystemClock clock;
  std::vector<DataRecord> recent;
  for (const DataRecord& r : DataRecords(folder))
    if (r.Time > clock.UtcNow() - 1) recent.push_back(r);
  return recent;
}

// name -> size and a checksum (FNV-1a over the bytes) of every file of the folder.
std::map<std::string, std::pair<std::uintmax_t, std::uint64_t>> Listing(const std::string& folder) {
  std::map<std::string, std::pair<std::uintmax_t, std::uint64_t>> listing;
  for (const auto& e : fs::directory_iterator(folder)) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : ReadAll(e.path().string())) h = (h ^ c) * 1099511628211ull;
    listing[e.path().filename().string()] = {fs::is_regular_file(e) ? e.file_size() : 0, h};
  }
  return listing;
}

pid_t Start(const char* program, const std::vector<std::string>& args, const std::string& errPath) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) ::dup2(fd, 2);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  if (WaitExit(pid, 5s) < 0) {
    ::kill(pid, SIGKILL);
    WaitExit(pid, 5s);
  }
}

// Waits, letting the event loop run, until done or the bound.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (std::chrono::steady_clock::now() < until) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (done()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return done();
}

void WriteSettings(const std::string& folder, const std::string& device) {
  std::ofstream(folder + "/Varnex.ini", std::ios::binary) << "[Serial]\r\nDevice=" << device << "\r\n";
}

struct SimAt {
  explicit SimAt(const std::string& link) {
    SimOptions o;
    o.baud = 0;
    o.linkPath = link;
    sim = std::make_unique<ReceiverSim>(o);
  }
  std::unique_ptr<ReceiverSim> sim;
};

TEST(ViewEndToEnd, FollowsARunningLoggerAndLeavesItsFolderAlone) {
  TestApplication();
  const std::string base = FreshTestFolder("view_e2e");
  const std::string data = base + "/data";
  fs::create_directories(data);
  SimAt rx(base + "/ttyReceiver");
  ASSERT_TRUE(rx.sim->Start());
  WriteSettings(data, base + "/ttyReceiver");
  // Files the logger never writes: an old week and a note of the user's.
  std::ofstream(data + "/VarnexData2020CW01.Txt", std::ios::binary)
      << FormatDataLine(DataRecord{43831.5, 1e-9, 1, 1e-6, 5}) << "\r\n";
  std::ofstream(data + "/notes.txt") << "antenna on the roof\n";

  const pid_t logger = Start(VARNEX_LOGGER_PATH, {"--folder", data}, base + "/logger.err");
  ASSERT_GT(logger, 0);
  ASSERT_TRUE(PumpUntil([&] { return Recent(data).size() >= 1; }, 60s)) << ReadAll(base + "/logger.err");

  // What the logger does not write, as it stands before the viewer starts.
  auto notTheLoggers = [&] {
    auto l = Listing(data);
    for (const std::string& own :
         {std::string("VarnexStatus.Txt"), std::string("VarnexError.Txt"), DataFileName(Recent(data).back().Time)})
      l.erase(own);
    return l;
  };
  const auto before = notTheLoggers();

  // The view, in this process: no lock, no port, nothing written into the folder.
  SharedReceiverState state;
  SystemClock clock;
  VarnexContext context(state, clock, data);
  context.ViewOnly = true;
  context.OwnFolder = base + "/own";
  fs::create_directories(context.OwnFolder);
  {
    VarnexWindows windows(context);
    TMainForm& main = *context.MainForm;
    main.show();
    EXPECT_EQ(main.ComThread(), nullptr);
    EXPECT_EQ(main.windowTitle().toStdString(), "Varnex Vers 20130801 \u2014 view of " + data + " (read-only)");
    EXPECT_FALSE(main.Action("ManualCommandEntry1")->isVisible());
    EXPECT_FALSE(main.Action("ReceiverStatus1")->isVisible());
    EXPECT_TRUE(main.Action("TimeStab")->isEnabled());
    auto* mark = main.findChild<QLabel*>("ViewMark");
    ASSERT_NE(mark, nullptr);
    EXPECT_TRUE(mark->toolTip().startsWith(QString::fromStdString("Read-only view of " + data + "\n")));

    // Three new lines of the logger, each in the chart within one poll interval (10 s).
    for (int n = 0; n < 3; ++n) {
      const std::size_t had = Recent(data).size();
      ASSERT_TRUE(PumpUntil([&] { return Recent(data).size() > had; }, 30s)) << ReadAll(base + "/logger.err");
      const DataRecord newest = Recent(data).back();
      const auto seen = std::chrono::steady_clock::now();
      EXPECT_TRUE(PumpUntil([&] { return !main.Series1.Empty() && main.Series1.Last().x == newest.Time; }, 10s))
          << "line " << n;
      EXPECT_LT(std::chrono::steady_clock::now() - seen, 10s);
      EXPECT_EQ(main.Series1.Last().y, newest.PpsTi);
      EXPECT_EQ(main.Series2.Last().y, newest.Efc);
      EXPECT_EQ(main.StatusPanel(0)->text().toStdString(), "PPS TI = " + FormatScientific3(newest.PpsTi) + " s");
      EXPECT_EQ(main.StatusPanel(6)->text().toStdString(), "Newest line " + FormatStamp(newest.Time).substr(5));
    }
    // Every line of the span is in the chart once: the loaded ones, their closing null
    // point, and the followed ones.
    EXPECT_EQ(main.Series1.Count(), Recent(data).size() + 1);
    for (std::size_t i = 1; i < main.Series1.Count(); ++i) EXPECT_LE(main.Series1.X(i - 1), main.Series1.X(i));

    // While the logger runs, a second ordinary Varnex on the folder is refused, a view is not.
    const pid_t second = Start(VARNEX_PATH, {"--folder", data}, base + "/second.err");
    EXPECT_TRUE(PumpUntil(
        [&] { return ReadAll(base + "/second.err").find("is in use by varnex-logger") != std::string::npos; }, 20s))
        << ReadAll(base + "/second.err");
    Stop(second);
    const pid_t viewer = Start(VARNEX_PATH, {"--view", data}, base + "/viewer.err");
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(WaitExit(viewer, 10ms), -1) << ReadAll(base + "/viewer.err");  // still running
    ::kill(viewer, SIGTERM);
    EXPECT_EQ(WaitExit(viewer, 10s), 0) << ReadAll(base + "/viewer.err");

    main.close();
  }
  EXPECT_EQ(notTheLoggers(), before);
  // The viewer's own choices went to its own folder.
  EXPECT_TRUE(fs::exists(context.OwnFolder + "/Varnex.ini"));
  Stop(logger);
}

TEST(ViewEndToEnd, TwoVarnexWithTheirOwnFoldersServeTwoReceivers) {
  const std::string base = FreshTestFolder("two_varnex");
  const std::string a = base + "/a", b = base + "/b";
  SimAt rxA(base + "/ttyA"), rxB(base + "/ttyB");
  ASSERT_TRUE(rxA.sim->Start());
  ASSERT_TRUE(rxB.sim->Start());
  fs::create_directories(a);
  fs::create_directories(b);
  WriteSettings(a, base + "/ttyA");
  WriteSettings(b, base + "/ttyB");
  const pid_t pa = Start(VARNEX_PATH, {"--folder", a}, base + "/a.err");
  const pid_t pb = Start(VARNEX_PATH, {"--folder", b}, base + "/b.err");
  EXPECT_TRUE(PumpUntil([&] { return !Recent(a).empty() && !Recent(b).empty(); }, 60s))
      << ReadAll(base + "/a.err") << ReadAll(base + "/b.err");
  EXPECT_GT(rxA.sim->CommandCount(), 0);
  EXPECT_GT(rxB.sim->CommandCount(), 0);
  // Each holds its own folder, and nothing of theirs lands beside the folders.
  EXPECT_NE(ReadAll(a + "/Varnex.lock").find("Varnex " + std::to_string(pa)), std::string::npos);
  EXPECT_NE(ReadAll(b + "/Varnex.lock").find("Varnex " + std::to_string(pb)), std::string::npos);
  ::kill(pa, SIGTERM);
  ::kill(pb, SIGTERM);
  EXPECT_EQ(WaitExit(pa, 10s), 0);
  EXPECT_EQ(WaitExit(pb, 10s), 0);
  std::vector<std::string> top;
  for (const auto& e : fs::directory_iterator(base)) top.push_back(e.path().filename().string());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"a", "a.err", "b", "b.err", "ttyA", "ttyB"}));
  EXPECT_NE(ReadAll(a + "/Varnex.ini").find("Device=" + base + "/ttyA"), std::string::npos);
  EXPECT_NE(ReadAll(b + "/Varnex.ini").find("Device=" + base + "/ttyB"), std::string::npos);
}
}  // namespace
