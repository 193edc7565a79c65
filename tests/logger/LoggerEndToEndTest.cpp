// varnex-logger as a service runs it: a real process on a real pseudo-terminal with
// the simulated receiver, stopped and reloaded by real signals, every wait bounded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "TestFolder.h"
#include "WaitFor.h"
#include "charting/ChartSeries.h"
#include "frontend/DataFile.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// CR LF lines, each with its line end.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end + 2 - at));
    at = end + 2;
  }
  return lines;
}

std::vector<std::string> DataLines(const std::string& folder) {
  std::vector<std::string> lines;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind("VarnexData", 0) == 0)
      for (const std::string& l : Lines(ReadAll(e.path().string()))) lines.push_back(l);
  return lines;
}

// Starts varnex-logger with the arguments, its standard error going to errPath.
pid_t StartLogger(const std::vector<std::string>& args, const std::string& errPath) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) ::dup2(fd, 2);
    std::vector<char*> argv{const_cast<char*>(VARNEX_LOGGER_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VARNEX_LOGGER_PATH, argv.data());
    ::_exit(127);
  }
  return pid;
}

void WriteSettings(const std::string& folder, const std::string& device) {
  std::ofstream(folder + "/Varnex.ini", std::ios::binary) << "[Serial]\r\nDevice=" << device << "\r\n";
}

TEST(LoggerEndToEnd, RefusesFoldersAndSettingsItCannotUse) {
  const std::string folder = FreshTestFolder("logger");
  const std::string unreadable = folder + "/unreadable";
  fs::create_directories(unreadable + "/Varnex.ini");  // a folder where the file should be
  std::ofstream(folder + "/plainfile") << "x";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{"--folder", folder + "/missing"}, 1, folder + "/missing"},
      {{"--folder", folder + "/plainfile"}, 1, "not a folder"},
      {{"--folder", unreadable}, 1, unreadable + "/Varnex.ini cannot be read"},
      {{"--bogus"}, 2, "unknown option --bogus"},
      {{"--folder"}, 2, "--folder needs a folder"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string err = folder + "/err" + std::to_string(n++);
    EXPECT_EQ(WaitExit(StartLogger(c.args, err), 5s), c.status) << c.says;
    const std::string text = ReadAll(err);
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
}

TEST(LoggerEndToEnd, LogsLikeVarnexIsExclusiveReloadsOnHupAndStopsOnTerm) {
  const std::string folder = FreshTestFolder("logger");
  SimOptions options;
  options.baud = 0;
  options.linkPath = folder + "/ttyReceiver";
  ReceiverSim sim(options);
  ASSERT_TRUE(sim.Start());
  WriteSettings(folder, options.linkPath);
  const std::string err = folder + "/stderr.txt";
  const pid_t pid = StartLogger({"--folder", folder}, err);
  ASSERT_GT(pid, 0);

  // The first poll cycle after identification gives the first lines (cycles every 10 s).
  ASSERT_TRUE(
      WaitFor([&] { return !DataLines(folder).empty() && fs::exists(folder + "/VarnexStatus.Txt"); }, 40s, 100ms))
      << ReadAll(err);

  // The files in Varnex's own formats, to the byte.
  const std::regex dataLine("(" + std::string(R"([+-]\d\.\d{15}E[+-]\d{2,3})") + "\t){4}" +
                            R"([+-]\d\.\d{15}E[+-]\d{2,3})" + "\r\n");
  for (const std::string& line : DataLines(folder)) EXPECT_TRUE(std::regex_match(line, dataLine)) << line;
  const std::vector<std::string> status = Lines(ReadAll(folder + "/VarnexStatus.Txt"));
  ASSERT_GE(status.size(), 2u);
  EXPECT_TRUE(std::regex_match(status[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: )"
                                                     "The last Smartclock Status is undefined\r\n")))
      << status[0];
  EXPECT_TRUE(
      std::regex_match(status[1], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: Starting with status \w+\r\n)")))
      << status[1];
  // Varnex's loader charts every line the logger wrote.
  SystemClock clock;
  ChartSeries pps("PPS TI"), efc("EFC");
  LoadChartHistory(HistorySource{folder, &clock, 1440, {}}, pps, efc);
  const std::size_t written = DataLines(folder).size();
  EXPECT_GE(pps.Count(), written);
  EXPECT_GE(efc.Count(), written);

  // A second instance on the folder is refused and names the first.
  const std::string err2 = folder + "/stderr2.txt";
  EXPECT_EQ(WaitExit(StartLogger({"--folder", folder}, err2), 5s), 1);
  EXPECT_NE(
      ReadAll(err2).find("The folder " + folder + " is in use by varnex-logger (pid " + std::to_string(pid) + ")"),
      std::string::npos)
      << ReadAll(err2);

  // SIGHUP: settings read again, port re-opened, logging goes on.
  const int commandsBefore = sim.CommandCount();
  ASSERT_EQ(::kill(pid, SIGHUP), 0);
  EXPECT_TRUE(
      WaitFor([&] { return ReadAll(err).find(options.linkPath + " re-opened") != std::string::npos; }, 5s, 100ms))
      << ReadAll(err);
  EXPECT_TRUE(
      WaitFor([&] { return DataLines(folder).size() > written && sim.CommandCount() > commandsBefore; }, 30s, 100ms))
      << ReadAll(err);

  // SIGHUP with a settings file that cannot be read: the settings in force stay, the
  // port is re-opened all the same and logging goes on.
  const std::size_t beforeBadReload = DataLines(folder).size();
  fs::rename(folder + "/Varnex.ini", folder + "/Varnex.ini.aside");
  fs::create_directories(folder + "/Varnex.ini");
  ASSERT_EQ(::kill(pid, SIGHUP), 0);
  EXPECT_TRUE(
      WaitFor([&] { return ReadAll(err).find("the settings in force are kept") != std::string::npos; }, 5s, 100ms))
      << ReadAll(err);
  EXPECT_TRUE(WaitFor([&] { return DataLines(folder).size() > beforeBadReload; }, 30s, 100ms)) << ReadAll(err);
  fs::remove(folder + "/Varnex.ini");
  fs::rename(folder + "/Varnex.ini.aside", folder + "/Varnex.ini");

  // SIGTERM: a clean stop with the settings (learned horizon included) saved, in 3 s.
  const auto termAt = std::chrono::steady_clock::now();
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(WaitExit(pid, 3s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - termAt, 3s);
  const std::string ini = ReadAll(folder + "/Varnex.ini");
  EXPECT_NE(ini.find("[Horizont]"), std::string::npos);
  EXPECT_NE(ini.find("Device=" + options.linkPath), std::string::npos);
  const std::string said = ReadAll(err);
  EXPECT_NE(said.find("Starting with status"), std::string::npos) << said;
  EXPECT_NE(said.find("Stopped after"), std::string::npos) << said;
  // The folder is free again for the next start, and a lock file left by a killed
  // logger blocks nobody.
  for (int signal : {SIGKILL, SIGTERM}) {
    const std::string errNext = folder + "/stderr-next.txt";
    fs::remove(errNext);
    const pid_t next = StartLogger({"--folder", folder}, errNext);
    EXPECT_TRUE(WaitFor([&] { return ReadAll(errNext).find("logging into") != std::string::npos; }, 5s, 100ms))
        << ReadAll(errNext);
    ::kill(next, signal);
    EXPECT_EQ(WaitExit(next, 3s), signal == SIGKILL ? 128 : 0);
  }
}

TEST(LoggerEndToEnd, KeepsRunningWhenItsFolderIsRemoved) {
  const std::string top = FreshTestFolder("logger");
  const std::string folder = top + "/data";
  fs::create_directories(folder);
  SimOptions options;
  options.baud = 0;
  options.linkPath = top + "/ttyReceiver";
  ReceiverSim sim(options);
  ASSERT_TRUE(sim.Start());
  WriteSettings(folder, options.linkPath);
  // A status history Varnex wrote: the logger goes on from its last status.
  const std::string varnexLine = "2013-08-01 12:00:00: Starting with status LOCK\r\n";
  std::ofstream(folder + "/VarnexStatus.Txt", std::ios::binary) << varnexLine;
  const std::string err = top + "/stderr.txt";
  const pid_t pid = StartLogger({"--folder", folder}, err);
  ASSERT_TRUE(WaitFor([&] { return !DataLines(folder).empty(); }, 40s, 100ms)) << ReadAll(err);
  const std::string history = ReadAll(folder + "/VarnexStatus.Txt");
  EXPECT_EQ(history.rfind(varnexLine, 0), 0u) << history;
  EXPECT_EQ(history.find("is undefined"), std::string::npos) << history;

  fs::remove_all(folder);
  EXPECT_TRUE(WaitFor([&] { return ReadAll(err).find("Cannot write " + folder + "/VarnexData") != std::string::npos; },
                      25s, 100ms))
      << ReadAll(err);
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the logger ended";
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 3s), 0);
  const std::string said = ReadAll(err);
  EXPECT_NE(said.find("The settings could not be saved in " + folder), std::string::npos) << said;
  // Said once, not once a cycle.
  EXPECT_EQ(said.find("Cannot write " + folder + "/VarnexData"), said.rfind("Cannot write " + folder + "/VarnexData"));
}

}  // namespace
