// Speed of the receiver link: the number scanner on data-file lines, the CPU the
// poll thread uses while it waits, and the time from a receiver's prompt to the
// published value, over a pseudo-terminal and over TCP on loopback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/ScanNumbers.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/PseudoTerminal.h"

namespace {

// Lines as the weekly data file holds them: MJD, PPS TI, EFC, holdover, satellites.
std::vector<std::string> DataFileLines(std::size_t count) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<std::string> lines;
  lines.reserve(count);
  char text[160];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%.8f\t%.3E\t%d\t%.1E\t%d", 56505.0 + i * 10.0 / 86400.0, 7e-9 * noise(rng),
                  27800 + static_cast<int>(20 * noise(rng)), 1.0e-4 + 1e-6 * noise(rng), 6 + static_cast<int>(i % 4));
    lines.emplace_back(text);
  }
  return lines;
}

void BM_ScanNumbersDataFileLines(benchmark::State& state) {
  const std::vector<std::string> lines = DataFileLines(10000);
  std::size_t bytes = 0;
  for (const std::string& l : lines) bytes += l.size() + 2;
  NumberList numbers;
  for (auto _ : state) {
    for (const std::string& l : lines) {
      ScanNumbers(l, numbers);
      benchmark::DoNotOptimize(numbers);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
  state.SetItemsProcessed(static_cast<std::int64_t>(lines.size() * state.iterations()));
}
BENCHMARK(BM_ScanNumbersDataFileLines)->Unit(benchmark::kMillisecond);

void BM_ScanNumbersStatusScreenLine(benchmark::State& state) {
  const std::string line = " 14  62 295   45      4 Acq .  *  29  -- ---     >> Locked to GPS  1PPS TI +7.2 ns";
  NumberList numbers;
  for (auto _ : state) {
    ScanNumbers(line, numbers);
    benchmark::DoNotOptimize(numbers);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(line.size() * state.iterations()));
}
BENCHMARK(BM_ScanNumbersStatusScreenLine);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

using Pty = PseudoTerminal;

// The poll thread on the system clock for a few real seconds: arg 0 with the port
// closed (no device), arg 1 on a pseudo-terminal whose receiver never answers. The
// main thread only sleeps, so the process CPU time is the poll thread's.
void BM_IdlePollThreadCpu(benchmark::State& state) {
  Pty pty;
  T_AdvCom32 port;
  if (state.range(0) == 1) {
    port.SetDevicePath(pty.path);
    if (!port.Open()) state.SkipWithError("no pseudo-terminal");
  }
  SystemClock clock;
  SharedReceiverState shared;
  shared.StartGate = true;
  shared.TraceHold = true;  // nobody drains the trace here
  double percent = 0;
  for (auto _ : state) {
    TComThread thread(shared, port, clock, nullptr);
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    thread.Start();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    thread.RequestStop();
    thread.Join(2000);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    percent = 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
  }
  state.counters["cpu_percent_of_one_core"] = percent;
}
BENCHMARK(BM_IdlePollThreadCpu)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// UTC running 100 times faster than real time, pauses in real time: a poll tick
// every 100 ms, so many prompts can be timed in a few seconds.
class FastUtcClock final : public Clock {
 public:
  TDateTime UtcNow() override {
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return base_ + real * 100.0 / 86400.0;
  }
  TDateTime LocalNow() override { return UtcNow(); }
  void Sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

 private:
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  const TDateTime base_ = EncodeDateTime({2013, 8, 1, 12, 0, 7});
};

// The far end of the line: the pseudo-terminal's master side (arg 0), or the server's
// side of a loopback TCP connection, raw (arg 1) or Telnet/RFC 2217 (arg 2).
struct FarEnd {
  Pty pty;
  int listener = -1;
  int socket = -1;
  int fd = -1;
  ~FarEnd() {
    if (socket >= 0) close(socket);
    if (listener >= 0) close(listener);
  }
  bool Connect(T_AdvCom32& port, int kind) {
    if (kind == 0) {
      port.SetDevicePath(pty.path);
      fd = pty.master;
      return port.Open();
    }
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) != 0)
      return false;
    port.SetDevicePath(std::string(kind == 1 ? "socket" : "rfc2217") +
                       "://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    if (!port.Open()) return false;
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 3000) <= 0) return false;
    fd = socket = accept(listener, nullptr, nullptr);
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return socket >= 0;
  }
};

// A receiver at the far end answers each "*IDN?" after a random delay of 0 to 10 ms (so
// the prompt lands anywhere in the poll's 10 ms pass); the time runs from the moment
// its prompt's last byte is written to the moment the value is published.
void BM_PromptToPublishedValue(benchmark::State& state) {
  T_AdvCom32 port;
  FarEnd far;
  if (!far.Connect(port, static_cast<int>(state.range(0)))) {
    state.SkipWithError("no line");
    return;
  }
  FastUtcClock clock;
  SharedReceiverState shared;
  shared.StartGate = true;
  shared.TraceHold = true;
  std::atomic<bool> stop{false};
  std::atomic<long long> promptAtNs{0};
  const auto epoch = std::chrono::steady_clock::now();
  auto nowNs = [&] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - epoch).count();
  };
  std::thread receiver([&] {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> delayUs(0, 10000);
    std::string line;
    char buffer[256];
    while (!stop) {
      pollfd p{far.fd, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = read(far.fd, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\r') {
          line += buffer[i];
          continue;
        }
        // (Telnet's negotiation comes before the first command.)
        if (line.size() >= 5 && line.compare(line.size() - 5, 5, "*IDN?") == 0) {
          std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
          const std::string answer = "Acme Clock 1.0\r\nscpi > ";
          promptAtNs = nowNs();
          if (write(far.fd, answer.data(), answer.size()) < 0) break;
        }
        line.clear();
      }
    }
  });
  TComThread thread(shared, port, clock, nullptr);
  thread.Start();
  std::string value;
  double worstMs = 0, totalMs = 0;
  for (auto _ : state) {
    while (!shared.Take(ReceiverValue::Idn, value)) std::this_thread::sleep_for(std::chrono::microseconds(50));
    const double ms = (nowNs() - promptAtNs.load()) / 1e6;
    state.SetIterationTime(ms / 1000.0);
    worstMs = std::max(worstMs, ms);
    totalMs += ms;
  }
  thread.RequestStop();
  thread.Join(2000);
  stop = true;
  receiver.join();
  state.counters["mean_ms"] = totalMs / static_cast<double>(state.iterations());
  state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_PromptToPublishedValue)
    ->ArgName("line")  // 0 pseudo-terminal, 1 socket://, 2 rfc2217:// (both on loopback)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
