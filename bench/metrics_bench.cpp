// The metrics' cost: the snapshot (and its text) at the end of a refresh tick that
// handled a status screen, a quiet tick, and one scrape of the endpoint while 100 idle
// connections are held open. Goals: < 50 us per tick, < 1 ms per scrape.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "frontend/MetricsFeed.h"
#include "frontend/MetricsText.h"
#include "frontend/RefreshCycle.h"
#include "frontend/RefreshRules.h"
#include "frontend/Settings.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"

namespace {

// A refresh cycle as a busy receiver leaves it: every value valid, twelve satellites.
struct Rig {
  Rig() {
    state.Publish(ReceiverValue::Idn, "HEWLETT-PACKARD,Z3801A,3542A01234,3535");
    r.PpsTiValid = r.EfcValid = r.HupValid = r.TrackedValid = r.VisibleValid = true;
    r.PpsTiValue = -1.234e-9;
    r.EfcValue = 32768.25;
    r.HupValue = 2e-6;
    r.TrackedCount = 12;
    r.VisibleCount = 14;
    r.StatusCode = StatusLock;
    r.Satellites.Count = 12;
    for (int i = 0; i < 12; ++i) r.Satellites.Rows[i] = {i + 1, 35 + i, 30 * i, 10 + 5 * i};
  }
  // A new status screen: every value read in this cycle, the C/N moving a little.
  void NewScreen() {
    t += 10 * OneSecond;
    r.LastPointTime = r.PpsTiTime = r.HupTime = r.TrackedTime = r.VisibleTime = r.StatusTime = t;
    r.PpsTiValue += 1e-12;
    r.Satellites.Rows[0].CN ^= 1;
  }
  SharedReceiverState state;
  VirtualClock clock{EncodeDateTime({2013, 8, 1, 12, 0, 0, 0})};
  VarnexSettings settings;
  QuietRefreshView view;
  RefreshCycle r{state, clock, settings, view};
  TDateTime t = EncodeDateTime({2013, 8, 1, 12, 0, 0, 0});
};

void BM_MetricsTickWithStatusScreen(benchmark::State& bench) {
  Rig rig;
  MetricsFeed feed;
  for (auto _ : bench) {
    rig.NewScreen();
    feed.Tick(rig.r, rig.settings, rig.state, rig.t + OneSecond);
    benchmark::DoNotOptimize(feed.Text().data());
  }
  if (feed.Text().find("varnex_pps_time_interval_seconds") == std::string::npos)
    bench.SkipWithError("the value is not in the text");
}
BENCHMARK(BM_MetricsTickWithStatusScreen)->Unit(benchmark::kMicrosecond);

// The other 99 ticks of ten seconds: nothing new, nothing rendered.
void BM_MetricsTickQuiet(benchmark::State& bench) {
  Rig rig;
  rig.NewScreen();
  MetricsFeed feed;
  for (auto _ : bench) {
    feed.Tick(rig.r, rig.settings, rig.state, rig.t + OneSecond);
    benchmark::DoNotOptimize(feed.Text().data());
  }
}
BENCHMARK(BM_MetricsTickQuiet)->Unit(benchmark::kMicrosecond);

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A whole scrape as Prometheus makes it: connect, GET, read the answer to its end.
void BM_ScrapeWithHundredIdleConnections(benchmark::State& bench) {
  Rig rig;
  rig.NewScreen();
  MetricsFeed feed;
  // On a free port of its own.
  MetricsServer server;
  if (!server.Start({"127.0.0.1", 0})) {
    bench.SkipWithError("cannot listen");
    return;
  }
  feed.Tick(rig.r, rig.settings, rig.state, rig.t + OneSecond);
  server.Publish(feed.Text());
  std::vector<int> idle;
  for (int i = 0; i < 100; ++i) idle.push_back(Connect(server.Port()));
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n";
  std::size_t bytes = 0;
  for (auto _ : bench) {
    const int fd = Connect(server.Port());
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[16384];
    std::size_t got = 0;
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) got += static_cast<std::size_t>(n);
    close(fd);
    bytes = got;
  }
  for (int fd : idle) close(fd);
  if (bytes < feed.Text().size()) bench.SkipWithError("short answer");
  bench.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ScrapeWithHundredIdleConnections)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
