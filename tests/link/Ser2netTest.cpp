// The link against Debian's ser2net on 127.0.0.1, in raw mode and in Telnet/RFC 2217
// mode, each bridging to a simulated receiver's pseudo-terminal, on the real clock:
// exact values arrive, the line settings reach the server's port, and after ser2net is
// away for 25 s polling resumes on its own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "SimRig.h"
#include "WaitFor.h"

extern char** environ;

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string FindSer2net() {
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/local/sbin";
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/ser2net";
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The ser2net tests take turns, also across test processes run side by side:
// two servers starting at once on a loaded machine can be handed the same
// "free" port, and each test's timing assumes the machine is not running both.
class Ser2netTurn {
 public:
  Ser2netTurn() : fd_(open("/tmp/varnex-ser2net-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~Ser2netTurn() {
    if (fd_ >= 0) close(fd_);
  }
  Ser2netTurn(const Ser2netTurn&) = delete;
  Ser2netTurn& operator=(const Ser2netTurn&) = delete;

 private:
  int fd_;
};

// A loopback port free at the moment.
int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  const bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
  close(s);
  return ok ? ntohs(a.sin_port) : 0;
}

// A socket listening on the loopback port, looked up in the kernel's table rather than
// by connecting: with kickolduser, a probing connection would throw out a link that
// connected first.
bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    const std::size_t colon = local.find(':');
    if (state == "0A" && colon != std::string::npos && std::stoi(local.substr(colon + 1), nullptr, 16) == port)
      return true;
  }
  return false;
}

class Ser2net {
 public:
  Ser2net(std::string program, std::string folder) : program_(std::move(program)), folder_(std::move(folder)) {}
  ~Ser2net() { Stop(); }
  // kickOldUser: a new client throws out the one before; otherwise it is refused.
  void AddConnection(const std::string& name, const std::string& accepter, const std::string& device,
                     bool kickOldUser = true) {
    config_ += "connection: &" + name + "\n  accepter: " + accepter + "\n  connector: serialdev," + device +
               ",9600n81,local\n  options:\n    kickolduser: " + (kickOldUser ? "true" : "false") + "\n";
  }
  bool Start(const std::vector<int>& ports) {
    std::ofstream(folder_ + "/ser2net.yaml") << config_;
    const std::string config = folder_ + "/ser2net.yaml", pidFile = folder_ + "/ser2net.pid",
                      log = folder_ + "/ser2net.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char* argv[] = {program_.c_str(), "-n", "-u", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr};
    const int r = posix_spawn(&pid_, program_.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) {
      pid_ = -1;
      return false;
    }
    // Listening within 5 s, or not at all.
    const auto limit = SteadyClock::now() + std::chrono::seconds(5);
    for (int port : ports)
      while (!Listening(port))
        if (SteadyClock::now() > limit)
          return false;
        else
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    const auto limit = SteadyClock::now() + std::chrono::seconds(3);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (SteadyClock::now() > limit) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
  }

 private:
  std::string program_, folder_, config_;
  pid_t pid_ = -1;
};

// One receiver behind one ser2net connection, polled on the real clock.
struct Link {
  Link(const std::string& scheme, int port, SystemClock& clock)
      : address(scheme + "://127.0.0.1:" + std::to_string(port)) {
    SimOptions o = Options(SimFamily::Z3801);
    sim = std::make_unique<ReceiverSim>(o);
    for (const auto& [command, answer] : Answers) sim->SetAnswer(command, answer);
    comport.SetDevicePath(address);
    thread = std::make_unique<TComThread>(state, comport, clock, nullptr);
  }
  ~Link() {
    if (thread) {
      thread->RequestStop();
      thread->Join(5000);
    }
  }
  void Drain() {
    for (std::string& line : state.DrainTrace()) trace.push_back(std::move(line));
  }
  int TraceCount(const std::string& text) const {
    int n = 0;
    for (const std::string& line : trace) n += line.find(text) != std::string::npos;
    return n;
  }
  // The port's own trace lines, for a failure message.
  std::string PortLines() const {
    std::string lines;
    for (const std::string& line : trace)
      if (line.find("Serial port") != std::string::npos) lines += line + "\n";
    return lines;
  }
  // Every answer of the table published exactly, since the last call.
  bool AllExact() {
    for (const auto& [command, answer] : Answers) {
      std::string v;
      const ReceiverValue which = command[1] == 'P'   ? ReceiverValue::PpsTi
                                  : command[6] == 'R' ? ReceiverValue::Efc
                                                      : ReceiverValue::LifeCount;
      if (state.Take(which, v)) seen[command] = v;
    }
    for (const auto& [command, answer] : Answers)
      if (seen[command] != answer) return false;
    return true;
  }

  // A byte 255 inside an answer is Telnet's IAC on the wire: it must arrive as itself.
  inline static const std::vector<std::pair<std::string, std::string>> Answers = {{":PTIM:TINT?", "+7.250E-09"},
                                                                                  {":DIAG:ROSC:EFC:ABS?", "27841"},
                                                                                  {":DIAG:LIF:COUN?",
                                                                                   "1205\xff"
                                                                                   "7"}};
  std::string address;
  std::unique_ptr<ReceiverSim> sim;
  T_AdvCom32 comport;
  SharedReceiverState state;
  std::unique_ptr<TComThread> thread;
  std::vector<std::string> trace;
  std::map<std::string, std::string> seen;
};

TEST(Ser2net, RawAndRfc2217LinksPollExactlyAndResumeAfterTheServerWasAway) {
  const std::string program = FindSer2net();
  if (program.empty()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
  const Ser2netTurn turn;
  char folderName[] = "/tmp/varnex-ser2net-XXXXXX";
  ASSERT_NE(mkdtemp(folderName), nullptr);
  const std::string folder = folderName;
  const int rawPort = FreePort(), telnetPort = FreePort();
  ASSERT_TRUE(rawPort > 0 && telnetPort > 0 && rawPort != telnetPort);

  SystemClock clock;
  Link raw("socket", rawPort, clock), telnet("rfc2217", telnetPort, clock);
  ASSERT_TRUE(raw.sim->Start() && telnet.sim->Start());
  // Set on the server's port through the COM-port option.
  telnet.comport.SetBaud(19200);
  telnet.comport.SetStopbits(2);

  Ser2net server(program, folder);
  server.AddConnection("raw", "tcp,127.0.0.1," + std::to_string(rawPort), raw.sim->SlavePath());
  server.AddConnection("telnet", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(telnetPort),
                       telnet.sim->SlavePath());
  ASSERT_TRUE(server.Start({rawPort, telnetPort})) << "ser2net did not listen; see " << folder << "/ser2net.log";
  ASSERT_TRUE(raw.comport.Open() && telnet.comport.Open());
  for (Link* l : {&raw, &telnet}) {
    l->state.StartGate = true;
    l->thread->Start();
  }

  // Every value exactly, on both links, within two poll cycles.
  auto waitExact = [&](int seconds) {
    const auto limit = SteadyClock::now() + std::chrono::seconds(seconds);
    bool rawDone = false, telnetDone = false;
    SteadyClock::time_point rawAt{}, telnetAt{};
    while (!(rawDone && telnetDone) && SteadyClock::now() < limit) {
      raw.Drain();
      telnet.Drain();
      if (!rawDone && (rawDone = raw.AllExact())) rawAt = SteadyClock::now();
      if (!telnetDone && (telnetDone = telnet.AllExact())) telnetAt = SteadyClock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::make_pair(rawDone ? rawAt : SteadyClock::time_point{},
                          telnetDone ? telnetAt : SteadyClock::time_point{});
  };
  const auto first = waitExact(25);
  EXPECT_NE(first.first, SteadyClock::time_point{}) << "raw: " << raw.seen[":DIAG:LIF:COUN?"];
  EXPECT_NE(first.second, SteadyClock::time_point{}) << "rfc2217: " << telnet.seen[":DIAG:LIF:COUN?"];
  // Each cycle identifies afresh and holds the family undefined while *IDN?
  // is out, so it is looked at between those moments.
  WaitFor(
      [&] { return raw.state.DeviceFamily.load() == FamilyZ3801 && telnet.state.DeviceFamily.load() == FamilyZ3801; },
      std::chrono::seconds(15), std::chrono::milliseconds(10));
  EXPECT_EQ(raw.state.DeviceFamily.load(), FamilyZ3801);
  EXPECT_EQ(telnet.state.DeviceFamily.load(), FamilyZ3801);
  // ser2net set the pseudo-terminal as the dialog asked.
  termios t{};
  const int fd = open(telnet.sim->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  close(fd);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  // No Telnet byte reached the receiver: it heard only its commands.
  for (const std::string& c : telnet.sim->ReceivedCommands())
    EXPECT_EQ(c.find_first_of(std::string("\xff\0", 2)), std::string::npos) << c;

  server.Stop();
  std::this_thread::sleep_for(std::chrono::seconds(25));
  for (Link* l : {&raw, &telnet}) {
    l->Drain();
    // Values published before the outage and not yet taken must not count
    // as polling resumed.
    l->AllExact();
    l->seen.clear();
    EXPECT_EQ(l->TraceCount(" Serial port " + l->address + " lost ("), 1) << l->address;
  }
  ASSERT_TRUE(server.Start({rawPort, telnetPort}));
  const auto restartedAt = SteadyClock::now();
  const auto again = waitExact(30);
  for (const auto& [link, at] : {std::make_pair(&raw, again.first), std::make_pair(&telnet, again.second)}) {
    ASSERT_NE(at, SteadyClock::time_point{}) << link->address << ": polling did not resume";
    const double resumedAfter = std::chrono::duration<double>(at - restartedAt).count();
    std::printf("%s: polling resumed %.1f s after ser2net came back\n", link->address.c_str(), resumedAfter);
    // The next retry within 10 s, then the first poll at the next 10 s of
    // UTC after the receiver answered: about 21 s at worst.
    EXPECT_LE(resumedAfter, 25.0) << link->address;
    EXPECT_EQ(link->TraceCount(" Serial port " + link->address + " lost ("), 1) << link->PortLines();
    EXPECT_EQ(link->TraceCount(" Serial port " + link->address + " opened"), 1) << link->PortLines();
  }
  server.Stop();
  for (const char* f : {"/ser2net.yaml", "/ser2net.pid", "/ser2net.log"}) unlink((folder + f).c_str());
  rmdir(folder.c_str());
}

// Another program holds the port (ser2net serves one client per port): the link is
// refused, says so once with the server's words, and never counts the refusal as a line
// opened and lost; once the port is free, polling starts at the next retry.
TEST(Ser2net, ASecondClientOfABusyPortIsRefusedOnceAndPollsWhenThePortIsFree) {
  const std::string program = FindSer2net();
  if (program.empty()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps.sh installs it)";
  const Ser2netTurn turn;
  char folderName[] = "/tmp/varnex-ser2net-XXXXXX";
  ASSERT_NE(mkdtemp(folderName), nullptr);
  const std::string folder = folderName;
  const int port = FreePort();
  ASSERT_GT(port, 0);
  SystemClock clock;
  Link link("socket", port, clock);
  ASSERT_TRUE(link.sim->Start());
  Ser2net server(program, folder);
  server.AddConnection("busy", "tcp,127.0.0.1," + std::to_string(port), link.sim->SlavePath(), false);
  ASSERT_TRUE(server.Start({port})) << "ser2net did not listen; see " << folder << "/ser2net.log";

  // The first client: another program that holds the port.
  const int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(connect(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(link.comport.Open());
  link.state.StartGate = true;
  link.thread->Start();

  constexpr int BusySeconds = 25;
  std::this_thread::sleep_for(std::chrono::seconds(BusySeconds));
  link.Drain();
  const std::string prefix = " Serial port " + link.address;
  const int busyLines = link.TraceCount(prefix);
  std::printf("%d port lines in %d s while the port was busy:\n%s", busyLines, BusySeconds, link.PortLines().c_str());
  EXPECT_EQ(link.TraceCount(prefix + " opened"), 0) << link.PortLines();
  EXPECT_EQ(link.TraceCount(prefix + " lost ("), 0) << link.PortLines();
  EXPECT_EQ(busyLines, 1) << link.PortLines();
  EXPECT_EQ(link.TraceCount(prefix + " not opened (closed by the server, which said \""), 1) << link.PortLines();
  EXPECT_NE(link.PortLines().find("in use"), std::string::npos) << link.PortLines();

  close(holder);
  const auto freedAt = SteadyClock::now();
  double openedAfter = -1;
  const auto limit = freedAt + std::chrono::seconds(40);
  while (SteadyClock::now() < limit && !link.AllExact()) {
    link.Drain();
    if (openedAfter < 0 && link.TraceCount(prefix + " opened") > 0)
      openedAfter = std::chrono::duration<double>(SteadyClock::now() - freedAt).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  link.Drain();
  std::printf("the port was free: opened after %.1f s\n", openedAfter);
  EXPECT_TRUE(link.AllExact()) << link.PortLines();
  EXPECT_GE(openedAfter, 0) << link.PortLines();
  // The next retry, and the query under way at the release (at most 5 s on the line
  // left closed) before it.
  EXPECT_LE(openedAfter, TComThread::RetryMilliseconds / 1000.0 + 10) << link.PortLines();
  EXPECT_EQ(link.TraceCount(prefix + " opened"), 1) << link.PortLines();
  EXPECT_GE(link.TraceCount("Detected Device: Z3801"), 1);
  server.Stop();
  for (const char* f : {"/ser2net.yaml", "/ser2net.pid", "/ser2net.log"}) unlink((folder + f).c_str());
  rmdir(folder.c_str());
}

}  // namespace
