// The link to a receiver behind a serial device server, over loopback TCP: the faults
// of servers and networks, malformed addresses, slow name servers, and device names
// that move to another device while the receiver is away.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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
