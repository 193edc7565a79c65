// The link to a receiver behind a serial device server, over loopback TCP: the faults
// of servers and networks, malformed addresses, slow name servers, and device names
// that move to another device while the receiver is away.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "LoopbackServer.h"
#include "SimRig.h"
#include "platform/NetworkLine.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

double Seconds(TDateTime from, TDateTime to) { return (to - from) * 86400.0; }

int TraceCount(const SimRig& rig, const std::string& text) {
  return static_cast<int>(std::count_if(rig.trace.begin(), rig.trace.end(),
                                        [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

struct FaultCase {
  const char* name;
  ServerMode mode;
  SimFault receiverFault;
  bool lost;           // the link takes the connection for lost
  double resumeBound;  // seconds of the link's clock from a healthy server to a fresh value
};

class ServerFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ServerFault, IsBoundedAndPollingResumesOnceTheServerIsHealthy) {
  const FaultCase& c = GetParam();
  SimRig rig(Options(SimFamily::Z3801), At(12, 0, 7), 0.03);
  const std::string exact = "+7.250E-09";
  rig.sim->SetAnswer(":PTIM:TINT?", exact);
  ASSERT_TRUE(rig.sim->Start());
  LoopbackServer server(rig.sim->SlavePath());
  ASSERT_GT(server.Port(), 0);
  rig.port.SetDevicePath(server.Address());
  ASSERT_TRUE(rig.port.Open());

  TDateTime faultAt = 0, healthyAt = 0, resumedAt = 0;
  int maxQueued = 0;
  rig.Run(At(12, 5, 0), [&] {
    const TDateTime now = rig.clock.UtcNow();
    std::string v;
    const bool fresh = rig.state.Take(ReceiverValue::PpsTi, v) && v == exact;
    if (faultAt == 0 && fresh) {
      server.SetMode(c.mode);
      rig.sim->SetFault(c.receiverFault);
      faultAt = now;
    }
    if (faultAt != 0 && healthyAt == 0) {
      maxQueued = std::max(maxQueued, rig.port.InCount());
      if (Seconds(faultAt, now) >= 40) {
        server.SetMode(ServerMode::Bridge);
        rig.sim->SetFault(SimFault::None);
        healthyAt = now;
      }
    }
    if (healthyAt != 0 && fresh) {
      resumedAt = now;
      return true;
    }
    return false;
  });
  ASSERT_TRUE(rig.joined) << c.name;
  ASSERT_NE(healthyAt, 0) << c.name;
  ASSERT_NE(resumedAt, 0) << c.name << ": polling did not resume";
  EXPECT_LE(Seconds(healthyAt, resumedAt), c.resumeBound) << c.name;
  const int lost = TraceCount(rig, " Serial port " + server.Address() + " lost (");
  if (c.lost)
    EXPECT_GE(lost, 1) << c.name;
  else
    EXPECT_EQ(lost, 0) << c.name;
  // Nothing piles up beyond the line's own bound, whatever the server sends.
  EXPECT_LE(maxQueued, static_cast<int>(NetworkLine::MaxInbound)) << c.name;
  // The receiver was asked again during the fault, no cycle hung.
  EXPECT_GE(TraceCount(rig, "Send    : *IDN?"), 2) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ServerFault,
    ::testing::Values(FaultCase{"Refused", ServerMode::Refuse, SimFault::None, true, 25},
                      FaultCase{"Silent", ServerMode::Silent, SimFault::None, true, 100},
                      FaultCase{"ClosesMidAnswer", ServerMode::CloseMidAnswer, SimFault::None, true, 25},
                      FaultCase{"FloodsGarbage", ServerMode::Flood, SimFault::None, false, 45},
                      FaultCase{"NeverPrompts", ServerMode::Bridge, SimFault::NoPrompt, false, 90}),
    [](const auto& info) { return std::string(info.param.name); });

// A server that accepts and at once hangs up with a few words (its port busy with
// another client) never opens the line: the refusal is said with the server's words,
// again only after an hour, and the line opens when the receiver first answers.
TEST(NetworkLine, ARefusalIsAFailedOpenSaidOnceAnHour) {
  SimRig rig(Options(SimFamily::Z3801), At(12, 0, 7), 0.002);
  ASSERT_TRUE(rig.sim->Start());
  LoopbackServer server(rig.sim->SlavePath());
  ASSERT_GT(server.Port(), 0);
  server.SetMode(ServerMode::Busy);
  rig.port.SetDevicePath(server.Address());
  ASSERT_TRUE(rig.port.Open());
  const std::string refusal =
      " Serial port " + server.Address() + " not opened (closed by the server, which said \"Port already in use\")";
  // Refused from 12:00 to 13:03, with the clock moved on twice meanwhile to spare the
  // hour's retries: said at 12:00 and again past 13:00.
  int saidBefore13 = -1, acceptedBefore13 = 0;
  TDateTime freedAt = 0, openedAt = 0;
  rig.Run(At(13, 10, 0), [&] {
    const TDateTime now = rig.clock.UtcNow();
    if (now >= At(12, 2, 0) && now < At(12, 30, 0)) rig.clock.Advance(30 * 60000.0);
    if (now >= At(12, 34, 0) && now < At(13, 0, 0)) {
      saidBefore13 = TraceCount(rig, refusal);
      acceptedBefore13 = server.Accepted();
      rig.clock.Advance(27 * 60000.0);
    }
    if (freedAt == 0 && now >= At(13, 3, 0)) {
      server.SetMode(ServerMode::Bridge);
      freedAt = now;
    }
    if (freedAt != 0 && openedAt == 0 && rig.TraceHas(" Serial port " + server.Address() + " opened")) openedAt = now;
    return openedAt != 0 && rig.state.IsNew(ReceiverValue::PpsTi);
  });
  ASSERT_TRUE(rig.joined);
  std::string portLines;
  for (const std::string& line : rig.trace)
    if (line.find(" Serial port ") != std::string::npos) portLines += line + "\n";
  EXPECT_GT(acceptedBefore13, 10);  // retried all along
  EXPECT_EQ(saidBefore13, 1) << portLines;
  EXPECT_EQ(TraceCount(rig, refusal), 2) << portLines;
  EXPECT_EQ(TraceCount(rig, " Serial port "), 3) << portLines;
  ASSERT_NE(openedAt, 0) << portLines;
  EXPECT_LE(Seconds(freedAt, openedAt), TComThread::RetryMilliseconds / 1000.0 + 6) << portLines;
}

TEST(NetworkLine, AServersWordsAreShownEscapedOnOneLine) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"Port already in use", "Port already in use"},
      {"tab\there \"quoted\" back\\slash", "tab\\there \\\"quoted\\\" back\\\\slash"},
      {std::string("bell\x07 nul\0 high\xff", 16), "bell\\x07 nul\\x00 high\\xff"},
      {"line one\r\nline two", "line one\\r\\nline two"},
      {std::string(100, 'x'), std::string(80, 'x') + "..."},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapedText(c.text), c.shown) << c.text;
}

// The line never waits on the caller's thread for a name server or a host; each
// attempt ends within the connect bound with its reason.
TEST(NetworkLine, NameLookupAndConnectingAreBoundedAndNeverBlockTheCaller) {
  struct Case {
    std::string address;
    NameResolver resolver;
    const char* why;
  };
  const NameResolver hangs = [](const std::string&, int, std::vector<NetworkEndpoint>&, std::string& why) {
    std::this_thread::sleep_for(std::chrono::seconds(6));
    why = "late";
    return false;
  };
  const NameResolver unknown = [](const std::string& host, int, std::vector<NetworkEndpoint>&, std::string& why) {
    why = "host " + host + " not found";
    return false;
  };
  // A port with nothing behind it: bound, then closed again.
  int refusedPort = 0;
  {
    LoopbackServer probe("/dev/null");
    refusedPort = probe.Port();
  }
  const Case cases[] = {
      {"rfc2217://receiver.example:2217", hangs, "no connection within 3 s"},
      {"socket://nowhere.example:4001", unknown, "host nowhere.example not found"},
      {"socket://127.0.0.1:" + std::to_string(refusedPort), ResolveName, "Connection refused"},
  };
  for (const Case& c : cases) {
    T_AdvCom32 port;
    port.SetResolver(c.resolver);
    port.SetDevicePath(c.address);
    const auto t0 = SteadyClock::now();
    EXPECT_TRUE(port.Open()) << c.address;  // under way
    EXPECT_LT(SteadyClock::now() - t0, std::chrono::milliseconds(100)) << c.address;
    std::string why;
    while (!port.LostCheck(why) && SteadyClock::now() - t0 < std::chrono::seconds(5))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LT(SteadyClock::now() - t0, std::chrono::milliseconds(3500)) << c.address;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.address << ": " << why;
    EXPECT_FALSE(port.Opened());
    // The poll thread's retry waits for the outcome, within the same bound.
    const auto t1 = SteadyClock::now();
    EXPECT_FALSE(port.RetryOpen()) << c.address;
    EXPECT_LT(SteadyClock::now() - t1, std::chrono::milliseconds(3500)) << c.address;
    EXPECT_FALSE(port.Opened());
  }
}

// A listening socket whose queue is full: the kernel drops further connection attempts
// without a word, as a firewall or a stale address does.
struct DroppingListener {
  DroppingListener() {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 0) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) != 0)
      return;
    endpoint.length = sizeof a;
    std::memcpy(&endpoint.address, &a, sizeof a);
    // Fill the queue until an attempt goes unanswered.
    for (int i = 0; i < 8 && !dropping; ++i) {
      const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      fillers.push_back(c);
      if (connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) continue;
      pollfd p{c, POLLOUT, 0};
      dropping = errno == EINPROGRESS && poll(&p, 1, 300) == 0;
    }
  }
  ~DroppingListener() {
    for (int c : fillers) close(c);
    close(listener);
  }
  int listener = -1;
  bool dropping = false;
  NetworkEndpoint endpoint;
  std::vector<int> fillers;
};

// A name with a dead first address (an IPv6 address behind a firewall, a stale
// record) still connects, within one attempt, and the next re-open goes straight
// to the address that worked.
TEST(NetworkLine, AnAddressThatDropsGivesWayToTheNextAndTheWorkingOneIsRemembered) {
  // Three dead addresses before the working one: tried in turn, they would keep it
  // waiting three staggers at the least.
  DroppingListener drops[3];
  for (const DroppingListener& d : drops)
    ASSERT_TRUE(d.dropping) << "the kernel answered every attempt on a full queue";
  const int working = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ASSERT_EQ(bind(working, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(working, 8), 0);
  ASSERT_EQ(getsockname(working, reinterpret_cast<sockaddr*>(&a), &length), 0);
  NetworkEndpoint good;
  good.length = sizeof a;
  std::memcpy(&good.address, &a, sizeof a);

  T_AdvCom32 port;
  port.SetResolver([&](const std::string&, int, std::vector<NetworkEndpoint>& found, std::string&) {
    found = {drops[0].endpoint, drops[1].endpoint, drops[2].endpoint, good};
    return true;
  });
  port.SetDevicePath("socket://receiver.example:4001");
  double took[2] = {0, 0};
  for (double& seconds : took) {
    const auto t0 = SteadyClock::now();
    EXPECT_TRUE(port.RetryOpen());
    seconds = std::chrono::duration<double>(SteadyClock::now() - t0).count();
    EXPECT_TRUE(port.Opened());
    EXPECT_TRUE(port.Write("*IDN?\r"));
    port.Close();
  }
  std::printf("connected in %.3f s, then in %.3f s\n", took[0], took[1]);
  EXPECT_LT(took[0], NetworkLine::ConnectTimeoutMs / 1000.0);
  // Remembered: the dead addresses are not waited for again.
  EXPECT_GE(took[0], 3 * NetworkLine::ConnectStaggerMs / 1000.0 - 0.01);
  EXPECT_LT(took[1], 3 * NetworkLine::ConnectStaggerMs / 1000.0);
  close(working);
}

// A peer that keeps the connection but reads nothing: the socket's buffers fill, and
// a write gives up once the line has taken nothing for the stall time, whatever the
// count of unsent bytes; and whoever else wants the line (the parameters dialog
// closing it) gets it at once.
TEST(NetworkLine, AWriteToAPeerThatReadsNothingGivesUpAndNeverHoldsTheLineLong) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length), 0);
  T_AdvCom32 port;
  port.SetDevicePath("socket://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  std::vector<std::thread> closers;
  std::atomic<bool> finished{false};
  auto connect = [&] {
    EXPECT_TRUE(port.RetryOpen());
    const int peer = accept(listener, nullptr, nullptr);
    EXPECT_GE(peer, 0);
    // A peer that goes away (here after 8 s) ends whatever the line would still wait for.
    closers.emplace_back([peer, &finished] {
      const auto limit = SteadyClock::now() + std::chrono::seconds(8);
      while (!finished && SteadyClock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      close(peer);
    });
  };
  auto timed = [](const std::function<void()>& f) {
    const auto t0 = SteadyClock::now();
    f();
    return std::chrono::duration<double>(SteadyClock::now() - t0).count();
  };
  const std::string flood(16 * 1024 * 1024, 'x');

  // A write stuck on the full line, and a close from another thread meanwhile.
  connect();
  double writeSeconds = 0;
  std::thread writer([&] { writeSeconds = timed([&] { port.Write(flood); }); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double closeSeconds = timed([&] { port.Close(); });
  writer.join();
  // Left alone, the write gives up by itself.
  connect();
  const double aloneSeconds = timed([&] { EXPECT_FALSE(port.Write(flood)); });
  // However much the kernel still holds unsent, a command's bound stays that of a
  // serial driver's queue at most.
  const int unsent = port.OutCount();
  const int commandBoundMs = port.WriteBoundMs(6);
  std::printf("%d bytes unsent; a command may wait %d ms\n", unsent, commandBoundMs);
  EXPECT_GT(unsent, 64 * 1024);
  EXPECT_LT(commandBoundMs, 7000);
  std::printf("close during a stuck write took %.3f s (the write %.2f s); a stuck write alone gave up after %.2f s\n",
              closeSeconds, writeSeconds, aloneSeconds);
  EXPECT_LT(closeSeconds, 0.5);
  // The stall time and a pass, once the kernel's buffers are full (filling them takes
  // its share on a slow machine).
  EXPECT_LT(aloneSeconds, T_AdvCom32::WriteStallMs / 1000.0 + 0.05 + 1.5);
  EXPECT_GT(aloneSeconds, T_AdvCom32::WriteStallMs / 1000.0 - 0.05);
  finished = true;
  for (std::thread& t : closers) t.join();
  close(listener);
}

TEST(NetworkLine, AMalformedAddressDoesNotOpenAndSaysWhyOnce) {
  struct Case {
    std::string address;
    const char* why;
  };
  // (The reasons for every form are the address parser's own test.)
  const Case cases[] = {
      {"socket://127.0.0.1", "no port"},
      {"telnet://127.0.0.1:23", "unknown scheme"},
      {"socket://" + std::string(5000, 'h') + ":4001", "longer than 253"},
  };
  for (const Case& c : cases) {
    T_AdvCom32 port;
    std::vector<std::string> reports;
    port.SetFailureReport([&](const std::string& text) { reports.push_back(text); });
    port.SetDevicePath(c.address);
    EXPECT_FALSE(port.Open());
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(port.RetryOpen());
    ASSERT_EQ(reports.size(), 1u) << c.address.substr(0, 40);
    EXPECT_NE(reports[0].find(c.why), std::string::npos) << reports[0];
    EXPECT_LT(reports[0].size(), 200u);
    EXPECT_FALSE(port.Write("*IDN?\r"));
  }
}

// A stable name (by-id) is a link that udev points at whatever kernel name the adapter
// got. Whether the old device vanished or is someone else's now, the next open follows
// the link.
TEST(StableName, ALinkRepointedDuringAnOutageIsFollowedAtTheNextOpen) {
  for (const bool oldDeviceStays : {false, true}) {
    char dirName[] = "/tmp/varnex-byid-XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string link = std::string(dirName) + "/usb-Acme_GPS_Clock_0042-if00-port0";
    SimRig rig(Options(SimFamily::Z3801));
    ASSERT_TRUE(rig.sim->Start());
    SimOptions otherOptions = Options(SimFamily::JacksonLabs);
    otherOptions.clock = &rig.clock;
    ReceiverSim other(otherOptions);
    ASSERT_TRUE(other.Start());
    ASSERT_EQ(symlink(rig.sim->SlavePath().c_str(), link.c_str()), 0);
    rig.port.SetDevicePath(link);
    ASSERT_TRUE(rig.port.Open());

    TDateTime movedAt = 0;
    int firstCommandsAfterMove = -1;
    rig.Run(At(12, 3, 0), [&] {
      if (movedAt == 0 && rig.state.DeviceFamily.load() == FamilyZ3801 && rig.state.IsNew(ReceiverValue::PpsTi)) {
        // Unplugged and plugged in again: the adapter comes back under another name.
        if (!oldDeviceStays) rig.sim->Stop();
        unlink(link.c_str());
        if (symlink(other.SlavePath().c_str(), link.c_str()) != 0) return true;
        firstCommandsAfterMove = rig.sim->CommandCount();
        movedAt = rig.clock.UtcNow();
      }
      return movedAt != 0 && rig.state.DeviceFamily.load() == FamilyJackson &&
             rig.Value(ReceiverValue::PpsTi).size() > 0 && other.CommandCount() > 3;
    });
    ASSERT_TRUE(rig.joined);
    ASSERT_NE(movedAt, 0);
    EXPECT_EQ(rig.state.DeviceFamily.load(), FamilyJackson) << oldDeviceStays;
    EXPECT_TRUE(rig.TraceHas(" Serial port " + link + " lost (")) << oldDeviceStays;
    EXPECT_TRUE(rig.TraceHas(" Serial port " + link + " opened")) << oldDeviceStays;
    // Nothing more went to the device the name no longer means, beyond the step under
    // way at the move (the first time-code step sends two commands).
    if (oldDeviceStays) {
      EXPECT_LE(rig.sim->CommandCount() - firstCommandsAfterMove, 2);
    }
    unlink(link.c_str());
    rmdir(dirName);
  }
}

}  // namespace
