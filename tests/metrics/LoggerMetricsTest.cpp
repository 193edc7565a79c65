// varnex-logger's metrics options, and what it says when a way out cannot be had:
// one line each, and the logging goes on.
#include <gtest/gtest.h>

#include <fstream>

#include "HeadlessLogger.h"
#include "LoggerRules.h"
#include "MetricsTestHelpers.h"
#include "TestFolder.h"
#include "frontend/MetricsServer.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

TEST(LoggerMetrics, CommandLineOptions) {
  using Args = std::vector<std::string>;
  const struct {
    Args args;
    std::optional<std::string> file, listen;
    std::string error;
  } cases[] = {
      {{}, std::nullopt, std::nullopt, ""},
      {{"--metrics-listen", "9101"}, std::nullopt, "9101", ""},
      {{"--metrics-listen=0.0.0.0:9101", "--folder", "/d"}, std::nullopt, "0.0.0.0:9101", ""},
      {{"--metrics-file", "/var/lib/x.prom"}, "/var/lib/x.prom", std::nullopt, ""},
      {{"--metrics-file=", "--metrics-listen="}, "", "", ""},
      {{"--metrics-file"}, std::nullopt, std::nullopt, "--metrics-file needs a file"},
      {{"--metrics-listen"}, std::nullopt, std::nullopt, "--metrics-listen needs [HOST:]PORT"},
      {{"--metrics"}, std::nullopt, std::nullopt, "unknown option --metrics (see --help)"},
  };
  for (const auto& c : cases) {
    const LoggerOptions o = ParseLoggerOptions(c.args, "/default");
    const std::string what = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(o.Error, c.error) << what;
    if (!c.error.empty()) continue;
    EXPECT_EQ(o.MetricsFile, c.file) << what;
    EXPECT_EQ(o.MetricsListen, c.listen) << what;
  }
  EXPECT_NE(LoggerUsage().find("--metrics-listen"), std::string::npos);
}

TEST(LoggerMetrics, PortInUseAndUnwritableFileAreSaidOnceAndLoggingGoesOn) {
  const std::string folder = FreshTestFolder("logger_metrics");
  MetricsServer holder;
  ASSERT_TRUE(holder.Start({"127.0.0.1", 0}));
  std::ofstream(folder + "/Varnex.ini") << "[Serial]\nDevice=" << folder
                                        << "/no-such-device\n[Metrics]\nListen=" << holder.Port() << "\nFile=" << folder
                                        << "/missing/varnex.prom\n";
  SharedReceiverState state;
  VirtualClock clock(EncodeDateTime({2013, 8, 1, 12, 0, 0, 0}));
  std::vector<std::string> said;
  HeadlessLogger logger(folder, state, clock, [&](const std::string& line) { said.push_back(line); });
  ASSERT_TRUE(logger.Start());
  for (int i = 0; i < 600; ++i) {  // a minute of ticks
    clock.Advance(100);
    logger.Tick();
  }
  EXPECT_EQ(logger.Metrics().ListenPort(), 0);
  // Once the port is free, a reload (SIGHUP) serves on it.
  const int port = holder.Port();
  holder.Stop();
  logger.Reload();
  EXPECT_EQ(logger.Metrics().ListenPort(), port);
  EXPECT_EQ(StatusOf(HttpGet(port, "/metrics")), 200);
  EXPECT_TRUE(logger.Stop());
  auto count = [&](const std::string& part) {
    int n = 0;
    for (const std::string& line : said) n += line.find(part) != std::string::npos ? 1 : 0;
    return n;
  };
  EXPECT_EQ(count("Metrics are not served: cannot listen on 127.0.0.1:" + std::to_string(holder.Port()) +
                  ": Address already in use"),
            1);
  EXPECT_EQ(count("Cannot write the metrics file " + folder + "/missing/varnex.prom"), 1);
  EXPECT_EQ(count("Stopped after"), 1);
}
