// The real chain on 127.0.0.1: varnex-logger against the simulated receiver, Debian's
// Prometheus scraping it every second and evaluating the shipped alert rules,
// Alertmanager sending to a webhook played by this test, and node_exporter reading the
// metrics file. Skipped only where those programs are absent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "MetricsTestHelpers.h"
#include "TestFolder.h"
#include "WaitFor.h"
#include "receiver_sim/ReceiverSim.h"

namespace {

using namespace std::chrono_literals;

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  close(fd);
  return ntohs(a.sin_port);
}

// A program of the chain, its output in a file, stopped (SIGTERM, then SIGKILL) at the end.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& log) {
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(50ms);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
};

// Alertmanager's webhook: keeps every body it is sent.
class Webhook {
 public:
  Webhook() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 16);
    socklen_t length = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Webhook() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  int Port() const { return port_; }
  std::string All() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bodies_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::string request;
      const auto end = std::chrono::steady_clock::now() + 5s;
      while (std::chrono::steady_clock::now() < end) {
        const std::size_t head = request.find("\r\n\r\n");
        if (head != std::string::npos) {
          const std::size_t at = request.find("Content-Length: ");
          const std::size_t length = at == std::string::npos ? 0 : std::stoul(request.substr(at + 16));
          if (request.size() >= head + 4 + length) break;
        }
        pollfd q{c, POLLIN, 0};
        if (poll(&q, 1, 100) <= 0) continue;
        char buffer[8192];
        const ssize_t n = recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
      close(c);
      std::lock_guard<std::mutex> lock(mutex_);
      bodies_ += BodyOf(request) + "\n";
    }
  }
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::string bodies_;
};

std::string UrlEncode(const std::string& text) {
  std::string out;
  char buffer[4];
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '_' || c == '.' || c == '-') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    }
  }
  return out;
}

// The value of the single sample an instant query returns; nullopt when there is none.
std::optional<double> Query(int port, const std::string& promql) {
  const std::string body = BodyOf(HttpGet(port, "/api/v1/query?query=" + UrlEncode(promql)));
  const std::size_t at = body.find("\"value\":[");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t quote = body.find('"', body.find(',', at));
  if (quote == std::string::npos) return std::nullopt;
  return std::strtod(body.c_str() + quote + 1, nullptr);
}

void WriteText(const std::string& path, const std::string& text) {
  // Replaced whole, so the simulator sees each change at once.
  std::ofstream(path + ".new") << text;
  std::filesystem::rename(path + ".new", path);
}

}  // namespace

TEST(MetricsChain, PrometheusAlertmanagerAndNodeExporter) {
  for (const char* program : {"prometheus", "prometheus-alertmanager"})
    if (!OnPath(program)) GTEST_SKIP() << program << " not found (Debian packages prometheus, prometheus-alertmanager)";
  const bool nodeExporter = OnPath("prometheus-node-exporter");
  const std::string dir = FreshTestFolder("chain");
  const std::string control = dir + "/state";
  WriteText(control, "locked\n");

  // The receiver, with answers of our own for the two values checked to the last digit.
  SimOptions o;
  o.baud = 0;
  o.linkPath = dir + "/receiver";
  o.controlPath = control;
  ReceiverSim sim(o);
  sim.SetAnswer(":PTIM:TINT?", "+3.7E-08");
  sim.SetAnswer(":DIAG:ROSC:EFC:ABS?", "+27807");
  ASSERT_TRUE(sim.Start());

  std::filesystem::create_directories(dir + "/textfile");
  std::ofstream(dir + "/Varnex.ini") << "[Serial]\nDevice=" << o.linkPath << "\n[Metrics]\nFile=" << dir
                                     << "/textfile/varnex.prom\nListen=127.0.0.1:1\n";
  const int loggerPort = FreePort(), promPort = FreePort(), amPort = FreePort(), nodePort = FreePort();
  Webhook webhook;

  std::ofstream(dir + "/alertmanager.yml") << "route:\n  receiver: test\n  group_by: [alertname]\n"
                                           << "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 1h\n"
                                           << "receivers:\n  - name: test\n    webhook_configs:\n"
                                           << "      - url: http://127.0.0.1:" << webhook.Port() << "/\n";
  std::ofstream(dir + "/prometheus.yml") << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                         << "rule_files:\n  - " << VARNEX_ALERTS_PATH << "\n"
                                         << "alerting:\n  alertmanagers:\n    - static_configs:\n"
                                         << "        - targets: ['127.0.0.1:" << amPort << "']\n"
                                         << "scrape_configs:\n  - job_name: varnex\n    static_configs:\n"
                                         << "      - targets: ['127.0.0.1:" << loggerPort << "']\n"
                                         << "  - job_name: node\n    static_configs:\n"
                                         << "      - targets: ['127.0.0.1:" << nodePort << "']\n";

  // The command line's Listen overrides the settings file's; its File stays.
  Child logger({VARNEX_LOGGER_PATH, "--folder", dir, "--metrics-listen", "127.0.0.1:" + std::to_string(loggerPort)},
               dir + "/logger.log");
  Child alertmanager(
      {"prometheus-alertmanager", "--config.file=" + dir + "/alertmanager.yml", "--storage.path=" + dir + "/am",
       "--web.listen-address=127.0.0.1:" + std::to_string(amPort), "--cluster.listen-address="},
      dir + "/alertmanager.log");
  Child prometheus({"prometheus", "--config.file=" + dir + "/prometheus.yml", "--storage.tsdb.path=" + dir + "/prom",
                    "--web.listen-address=127.0.0.1:" + std::to_string(promPort)},
                   dir + "/prometheus.log");
  std::unique_ptr<Child> node;
  if (nodeExporter)
    node =
        std::make_unique<Child>(std::vector<std::string>{"prometheus-node-exporter",
                                                         "--web.listen-address=127.0.0.1:" + std::to_string(nodePort),
                                                         "--collector.disable-defaults", "--collector.textfile",
                                                         "--collector.textfile.directory=" + dir + "/textfile"},
                                dir + "/node.log");

  // The exact values the receiver sent, through the logger's endpoint and Prometheus.
  const auto value = [&](const std::string& q) { return Query(promPort, q); };
  ASSERT_TRUE(
      WaitFor([&] { return value("varnex_pps_time_interval_seconds{job=\"varnex\"}").has_value(); }, 60s, 500ms))
      << "no PPS TI in Prometheus";
  EXPECT_EQ(value("varnex_pps_time_interval_seconds{job=\"varnex\"}"), 3.7e-8);
  EXPECT_EQ(value("varnex_efc{job=\"varnex\"}"), 27807.0);
  EXPECT_EQ(value("varnex_reference_status{job=\"varnex\",status=\"LOCK\"}"), 1.0);
  EXPECT_EQ(value("varnex_link_up{job=\"varnex\"}"), 1.0);
  EXPECT_EQ(value("count(varnex_receiver_info{job=\"varnex\",model=\"Z3801A\"})"), 1.0);
  // The same through the metrics file and node_exporter.
  if (nodeExporter) {
    EXPECT_TRUE(WaitFor([&] { return value("varnex_efc{job=\"node\"}") == 27807.0; }, 20s, 500ms))
        << "the metrics file did not reach Prometheus through node_exporter";
    EXPECT_EQ(value("varnex_pps_time_interval_seconds{job=\"node\"}"), 3.7e-8);
  } else {
    std::cout << "prometheus-node-exporter not found: the textfile path is not checked\n";
  }

  // Into holdover, with a changed PPS TI, while careless clients hold 150 connections
  // and one sends a huge request: the alert reaches the webhook, the new value arrives
  // and the poll cycles go on at their pace.
  const double cyclesBefore = value("varnex_poll_cycles_total{job=\"varnex\"}").value_or(0);
  std::vector<int> idle;
  for (int i = 0; i < 150; ++i) idle.push_back(ConnectLocal(loggerPort));
  RawRequest(loggerPort, "GET /" + std::string(200000, 'x') + " HTTP/1.1\r\n\r\n", 2000);
  sim.SetAnswer(":PTIM:TINT?", "-1.25E-07");
  const auto holdoverStart = std::chrono::steady_clock::now();
  WriteText(control, "holdover\n");
  EXPECT_TRUE(WaitFor(
      [&] {
        const std::string all = webhook.All();
        return all.find("\"alertname\":\"VarnexHoldover\"") != std::string::npos &&
               all.find("\"status\":\"firing\"") != std::string::npos;
      },
      60s, 500ms))
      << webhook.All();
  EXPECT_NE(webhook.All().find("\"model\":\"Z3801A\""), std::string::npos);
  EXPECT_TRUE(
      WaitFor([&] { return value("varnex_pps_time_interval_seconds{job=\"varnex\"}") == -1.25e-7; }, 20s, 500ms));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - holdoverStart).count();
  const double cycles = value("varnex_poll_cycles_total{job=\"varnex\"}").value_or(0) - cyclesBefore;
  // One cycle every 10 s (the new value took one at least); allow one lost to the slowest of machines.
  EXPECT_GE(cycles, std::max(1.0, std::floor(seconds / 10.0) - 1)) << seconds << " s";
  EXPECT_EQ(value("up{job=\"varnex\"}"), 1.0);
  // The cycle that read the new value began on its second (:00, :10, ...), not held up.
  const std::optional<double> cycleStart = value("varnex_last_status_timestamp_seconds{job=\"varnex\"}");
  ASSERT_TRUE(cycleStart);
  EXPECT_LT(std::fmod(*cycleStart, 10.0), 1.0) << std::fixed << *cycleStart;
  for (int fd : idle) close(fd);

  // The line goes quiet: the link-down alert fires, and the values are no longer exported.
  WriteText(control, "silent\n");
  EXPECT_TRUE(
      WaitFor([&] { return webhook.All().find("\"alertname\":\"VarnexLinkDown\"") != std::string::npos; }, 90s, 500ms))
      << webhook.All();
  EXPECT_EQ(value("varnex_link_up{job=\"varnex\"}"), 0.0);
  EXPECT_FALSE(value("varnex_pps_time_interval_seconds{job=\"varnex\"}"));
  EXPECT_TRUE(logger.Running());
}
