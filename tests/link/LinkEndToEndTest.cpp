// The poll thread on a real serial port (a pseudo-terminal) against the simulated
// receiver, in virtual time that runs faster than real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeReceiver.h"
#include "SimRig.h"
#include "link/AdvCom32.h"
#include "link/ComThread.h"
#include "link/ScanNumbers.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "receiver_sim/ReceiverSim.h"

namespace {

bool IsNumber(const std::string& text) {
  NumberList n;
  return ScanNumbers(text, n) && n.Count >= 1;
}

// ---- Identification ----

struct FamilyCase {
  SimFamily family;
  std::uint8_t code;
  const char* message;
};

class Identification : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(Identification, NamesTheFamilyInTheTrace) {
  SimRig rig(Options(GetParam().family));
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 9), [&] { return rig.TraceHas("Detected Device:"); });
  EXPECT_TRUE(rig.joined);
  EXPECT_TRUE(rig.TraceHas(std::string(" ") + GetParam().message + "\r\n")) << GetParam().message;
  EXPECT_EQ(rig.state.DeviceFamily.load(), GetParam().code);
  EXPECT_TRUE(rig.state.IsNew(ReceiverValue::Idn));
}

INSTANTIATE_TEST_SUITE_P(
    Families, Identification,
    ::testing::Values(FamilyCase{SimFamily::Z3801, FamilyZ3801, "Detected Device: Z3801"},
                      FamilyCase{SimFamily::Z3805, FamilyZ3805, "Detected Device: Z3805"},
                      FamilyCase{SimFamily::Z3815, FamilyZ3815, "Detected Device: Z3815"},
                      FamilyCase{SimFamily::Z3816, FamilyZ3816, "Detected Device: Z3816"},
                      FamilyCase{SimFamily::Z3817, FamilyZ3817, "Detected Device: Z3817"},
                      FamilyCase{SimFamily::Gcru, FamilyGCRU, "Detected Device: GCRU"},
                      FamilyCase{SimFamily::JacksonLabs, FamilyJackson, "Detected Device: Jackson Labs"},
                      FamilyCase{SimFamily::Hp58503, FamilyHP58503, "Detected Device: HP58503"},
                      FamilyCase{SimFamily::Hp55300, FamilyHP55300, "Detected Device: HP55300"},
                      FamilyCase{SimFamily::Mtron, FamilyMtron, "Detected Device: Mtron"},
                      FamilyCase{SimFamily::Unknown, FamilyUndefined, "Detected Device: Undefined"}));

// ---- Full cycles ----

std::vector<std::string> StandardCycleValues(bool echo) {
  SimRig rig(Options(SimFamily::Z3801, echo));
  EXPECT_TRUE(rig.Open());
  // With echo and the whole screen in one chunk the screen ends 10 s after its echo.
  rig.Run(At(12, 0, 35), [&] { return rig.SimReceived(":LED:ACT ON;") && rig.state.StatusLinesNew(); });
  EXPECT_TRUE(rig.joined);
  EXPECT_TRUE(rig.SimReceived(":PTIM:TCOD:FORM F2"));
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::PpsTi))) << rig.Value(ReceiverValue::PpsTi);
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::Efc))) << rig.Value(ReceiverValue::Efc);
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::Hup))) << rig.Value(ReceiverValue::Hup);
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::LifeCount)));
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::Tracked)));
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::Visible)));
  EXPECT_NE(rig.Value(ReceiverValue::Idn).find("Z3801"), std::string::npos);
  const std::string status = rig.Value(ReceiverValue::OscStatus);
  EXPECT_TRUE(status == "POW" || status == "REC" || status == "LOCK" || status == "HOLD") << status;
  EXPECT_EQ(rig.Value(ReceiverValue::Error).rfind("+0,", 0), 0u) << rig.Value(ReceiverValue::Error);
  EXPECT_EQ(rig.Value(ReceiverValue::TimeCode).rfind("T220130801", 0), 0u) << rig.Value(ReceiverValue::TimeCode);
  const auto lines = rig.state.StatusLines();
  EXPECT_GT(lines.size(), 10u);
  for (const std::string& l : lines) EXPECT_EQ(l.find(":SYST:STAT?"), std::string::npos);
  std::vector<std::string> values;
  for (int v = 0; v < static_cast<int>(ReceiverValue::Count); ++v) {
    EXPECT_TRUE(rig.state.IsNew(static_cast<ReceiverValue>(v))) << v;
    values.push_back(rig.Value(static_cast<ReceiverValue>(v)));
  }
  values.push_back(std::to_string(lines.size()));
  return values;
}

TEST(EndToEnd, StandardCycleGivesTheSameValuesWithAndWithoutEcho) {
  const auto plain = StandardCycleValues(false);
  const auto echoed = StandardCycleValues(true);
  EXPECT_EQ(plain, echoed);
}

TEST(EndToEnd, StandardCycleAtNineThousandSixHundredBaudInRealTime) {
  SimRig rig(Options(SimFamily::Z3801, true, 9600), At(12, 0, 9, 500), 1.0);
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 19), [&] { return rig.SimReceived(":LED:ACT ON;"); });
  EXPECT_TRUE(rig.joined);
  EXPECT_EQ(rig.state.DeviceFamily.load(), FamilyZ3801);
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::PpsTi)));
  EXPECT_GT(rig.state.StatusLines().size(), 10u);
}

TEST(EndToEnd, JacksonCycleBuildsTheTimeCodeFromTimeAndDate) {
  for (SimFamily family : {SimFamily::JacksonLabs, SimFamily::Mtron}) {
    SimRig rig(Options(family));
    ASSERT_TRUE(rig.Open());
    rig.Run(At(12, 0, 19), [&] { return rig.state.IsNew(ReceiverValue::Visible) && rig.state.StatusLinesNew(); });
    EXPECT_TRUE(rig.joined);
    const std::string code = rig.Value(ReceiverValue::TimeCode);
    EXPECT_EQ(code.rfind("T220130801120010", 0), 0u) << code;
    EXPECT_EQ(code.size(), 20u);
    EXPECT_TRUE(rig.SimReceived("GPS:SAT:TRACKING:COUNT?"));
    EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::Tracked)));
    EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::PpsTi)));
    EXPECT_FALSE(rig.SimReceived(":LED:ACT ON;"));
    EXPECT_FALSE(rig.SimReceived(":PTIM:TCOD?"));
  }
}

TEST(EndToEnd, GcruCycleDecodesAGivenScreen) {
  SimRig rig(Options(SimFamily::Gcru, true));
  rig.sim->SetAnswer("SYST:STAT?",
                     "                 GCRU Status\r\n"
                     "   Tracking: 6    Not Tracking: 2\r\n"
                     ">> Recovery         1PPS TI +7.2 ns relative to GPS\r\n"
                     "   Power-up         Predict 165.0 us/initial 24 hrs");
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 35), [&] { return rig.state.StatusLinesNew(); });
  EXPECT_TRUE(rig.joined);
  EXPECT_EQ(rig.Value(ReceiverValue::Tracked), "6");
  EXPECT_EQ(rig.Value(ReceiverValue::Visible), "8");
  EXPECT_EQ(rig.Value(ReceiverValue::PpsTi), "7.2E-9");
  EXPECT_EQ(rig.Value(ReceiverValue::Hup), "0.000165");
  EXPECT_EQ(rig.Value(ReceiverValue::OscStatus), "REC");
  EXPECT_EQ(rig.Value(ReceiverValue::LifeCount), "1");
  EXPECT_TRUE(IsNumber(rig.Value(ReceiverValue::Efc)));
  EXPECT_EQ(rig.state.StatusLines().size(), 4u);
  EXPECT_EQ(rig.events.Menu(), std::vector<bool>{false});
}

TEST(EndToEnd, GcruCycleDecodesTheSimulatedScreen) {
  SimRig rig(Options(SimFamily::Gcru));
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 19), [&] { return rig.state.StatusLinesNew(); });
  NumberList tracked, visible;
  ASSERT_TRUE(ScanNumbers(rig.Value(ReceiverValue::Tracked), tracked));
  ASSERT_TRUE(ScanNumbers(rig.Value(ReceiverValue::Visible), visible));
  EXPECT_LE(tracked[1], visible[1]);
  EXPECT_TRUE(rig.state.IsNew(ReceiverValue::PpsTi));
  EXPECT_TRUE(rig.state.IsNew(ReceiverValue::Hup));
  EXPECT_TRUE(rig.state.IsNew(ReceiverValue::OscStatus));
  const std::string pps = rig.Value(ReceiverValue::PpsTi);
  EXPECT_EQ(pps.find(','), std::string::npos);
  NumberList n;
  ASSERT_TRUE(ScanNumbers(pps, n));
  EXPECT_LT(std::abs(n[1]), 1e-6) << pps;  // nanoseconds scaled to seconds
}

TEST(EndToEnd, SetupCommandsAfterTheFirstZ3815Identification) {
  SimRig rig(Options(SimFamily::Z3815));
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 25), [&] { return rig.SimReceived(":LED:ACT ON;"); });
  const auto received = rig.sim->ReceivedCommands();
  ASSERT_GE(received.size(), 4u);
  EXPECT_EQ(received[1], "PTIM:TCOD:CONT 0");
  EXPECT_EQ(received[2], ":SYST:COMM:SER1:FDUP 0");
  EXPECT_EQ(received[3], "*CLS");
  EXPECT_EQ(std::count(received.begin(), received.end(), "*CLS"), 1);
}

TEST(EndToEnd, AZ3805WithTimeCodeOutputOnIsTurnedQuietAndThenPolled) {
  SimOptions o = Options(SimFamily::Z3805);
  o.continuousTimeCode = true;
  SimRig rig(o);
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 30), [&] { return rig.SimReceived(":LED:ACT ON;") && rig.state.StatusLinesNew(); });
  EXPECT_TRUE(rig.joined);
  EXPECT_EQ(rig.state.DeviceFamily.load(), FamilyZ3805);
  EXPECT_TRUE(rig.SimReceived("PTIM:TCOD:CONT 0"));
  const std::string pps = rig.Value(ReceiverValue::PpsTi);
  EXPECT_TRUE(IsNumber(pps)) << pps;
  EXPECT_EQ(pps.find("T2"), std::string::npos) << pps;  // no time code mixed into the answers any more
  EXPECT_EQ(rig.Value(ReceiverValue::Efc).find("T2"), std::string::npos);
}

TEST(EndToEnd, UndefinedCycleOnlyIdentifies) {
  SimRig rig(Options(SimFamily::Unknown));
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 0, 21));
  EXPECT_TRUE(rig.joined);
  const auto received = rig.sim->ReceivedCommands();
  EXPECT_EQ(received, (std::vector<std::string>{"*IDN?", "*IDN?", "*IDN?"}));
  EXPECT_EQ(rig.state.DeviceFamily.load(), FamilyUndefined);
}

// ---- Status screens at high baud rates ----

// A screen of n lines shaped like a satellite table, each line different.
std::vector<std::string> ScreenLines(int n) {
  std::vector<std::string> lines;
  for (int i = 1; i <= n; ++i) {
    char text[96];
    std::snprintf(text, sizeof text, "  PRN %2d  El %2d  Az %3d  SS %3d  line %02d of %02d   tracking", i, 10 + i,
                  (i * 37) % 360, 40 + i, i, n);
    lines.push_back(text);
  }
  return lines;
}

class HighBaud : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(HighBaud, EveryStatusLineIsTakenWithAndWithoutEcho) {
  // The screen is collected in real-time passes, so at 57600 baud and above several
  // lines arrive per pass. The queries before it run at a fifth of real time, which
  // still leaves a pass longer than one character.
  const std::uint32_t baud = GetParam();
  for (int n : {10, 24, 40}) {
    for (bool echo : {false, true}) {
      SimRig rig(Options(SimFamily::Z3801, echo, baud), At(12, 0, 9, 900), 0.2);
      const std::vector<std::string> screen = ScreenLines(n);
      std::string answer;
      for (const std::string& line : screen) answer += (answer.empty() ? "" : "\r\n") + line;
      rig.sim->SetAnswer(":SYST:STAT?", answer);
      ASSERT_TRUE(rig.Open());
      rig.Run(At(12, 0, 40), [&] {
        if (rig.SimReceived(":SYST:STAT?")) rig.clock.SetRealTimeFactor(1.0);
        return rig.state.StatusLinesNew();
      });
      EXPECT_EQ(rig.state.StatusLines(), screen) << n << " lines" << (echo ? " with echo" : "");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, HighBaud, ::testing::Values(9600u, 19200u, 57600u, 115200u));

// ---- Faults ----

struct Exchange {
  TDateTime sent;
  TDateTime received;  // 0 when the query never ended
};

TDateTime StampOf(const std::string& line) {
  DateTimeParts p;
  if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d", &p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second) != 6)
    return 0;
  return EncodeDateTime(p);
}

// Every query's time from its "Send" line to its "Received" line (stamps to the second).
std::vector<Exchange> Exchanges(const std::vector<std::string>& trace) {
  std::vector<Exchange> out;
  for (const std::string& line : trace) {
    if (line.find(" Send    : ") != std::string::npos) out.push_back({StampOf(line), 0});
    if (line.find(" Received:") != std::string::npos && !out.empty()) out.back().received = StampOf(line);
  }
  return out;
}

struct FaultCase {
  SimFault fault;
  double maxSeconds;  // longest a plain query may take, stamps rounded to the second
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, EveryQueryEndsWithinItsLimitAndStopIsPrompt) {
  SimOptions o = Options(SimFamily::Z3801, false, 9600);
  o.fault = GetParam().fault;
  o.disconnectAfter = 3;
  SimRig rig(o, At(12, 0, 7), 0.03);
  ASSERT_TRUE(rig.Open());
  rig.Run(At(12, 1, 20));
  ASSERT_TRUE(rig.joined) << FaultName(GetParam().fault);
  // Stopped within a pass or two of virtual time.
  EXPECT_LE((rig.clock.UtcNow() - rig.stopRequestedAt) * 86400000.0, 20.0);
  const auto exchanges = Exchanges(rig.trace);
  ASSERT_GE(exchanges.size(), 2u) << FaultName(GetParam().fault);
  for (std::size_t i = 0; i + 1 < exchanges.size(); ++i) {
    const Exchange& e = exchanges[i];
    if (e.received == 0) continue;  // the LED and F2 commands have no "Received" line
    EXPECT_LE((e.received - e.sent) * 86400.0, GetParam().maxSeconds + 1.0) << FaultName(GetParam().fault) << " #" << i;
  }
  EXPECT_LE(rig.Value(ReceiverValue::Idn).size(), TComThread::MaxCollectedBytes);
}

INSTANTIATE_TEST_SUITE_P(Modes, Faults,
                         ::testing::Values(FaultCase{SimFault::Silent, 5}, FaultCase{SimFault::NoPrompt, 7},
                                           FaultCase{SimFault::Chatter, 30}, FaultCase{SimFault::Garbage, 30},
                                           FaultCase{SimFault::Trickle, 30}, FaultCase{SimFault::Disconnect, 60}),
                         [](const auto& info) { return std::string(FaultName(info.param.fault)); });

TEST(EndToEnd, PollingResumesWhenThePortIsReopenedOnAnotherDevice) {
  SimOptions o = Options(SimFamily::Z3801);
  o.fault = SimFault::Disconnect;
  o.disconnectAfter = 2;
  SimRig rig(o);
  ASSERT_TRUE(rig.Open());
  SimOptions second = Options(SimFamily::Z3817);
  second.clock = &rig.clock;
  ReceiverSim replacement(second);
  ASSERT_TRUE(replacement.Start());
  std::thread dialog([&] {
    // The parameters dialog re-opens the line while the poll thread is running.
    while (rig.clock.UtcNow() < At(12, 0, 25)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    rig.port.SetDevicePath(replacement.SlavePath());
    rig.port.Open();
  });
  rig.Run(At(12, 1, 0), [&] { return rig.state.DeviceFamily.load() == FamilyZ3817 && rig.state.StatusLinesNew(); });
  dialog.join();
  EXPECT_TRUE(rig.joined);
  EXPECT_EQ(rig.state.DeviceFamily.load(), FamilyZ3817);
  EXPECT_TRUE(rig.TraceHas("Detected Device: Z3817"));
}

}  // namespace
