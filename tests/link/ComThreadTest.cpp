#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeReceiver.h"
#include "link/ComThread.h"
#include "link/SharedReceiverState.h"

namespace {

TDateTime At(int hour, int minute, int second, int ms = 0) {
  return EncodeDateTime({2013, 8, 1, hour, minute, second, ms});
}

const char* const Z3801Idn = "HEWLETT-PACKARD,Z3801A,3542A01234,Rev 1.07";

void MakeZ3801(FakeReceiver& r) {
  r.Answers = {{"*IDN?", Z3801Idn},
               {":PTIM:TINT?", "+1.234E-08"},
               {":PTIM:TCOD?", "T2201308011200100000A7"},
               {":DIAG:ROSC:EFC:ABS?", "+12345"},
               {":SYNC:HOLD:TUNC:PRED?", "+1.5E-006,0"},
               {":DIAG:LIF:COUN?", "+3"},
               {":ROSC:STAT?", "LOCK"},
               {":PTIM:GPS:SAT:TRAC:COUN?", "+6"},
               {":PTIM:GPS:SAT:VIS:PRED:COUN?", "+9"},
               {":SYST:ERR?", "+0,\"No error\""}};
  r.StatusScreen.clear();
  for (int i = 1; i <= 12; ++i) r.StatusScreen.push_back("status line " + std::to_string(i));
}

void MakeJackson(FakeReceiver& r, const char* idn = "Jackson Labs GPSTCXO") {
  r.Answers = {{"*IDN?", idn},
               {":PTIM:TINT?", "+2.5E-09"},
               {"PTIM:TIME?", "12,34,56"},
               {"PTIM:DATE?", "2013,8,1"},
               {":DIAG:ROSC:EFC:ABS?", "+2000"},
               {":SYNC:HOLD:TUNC:PRED?", "+1.0E-006"},
               {":DIAG:LIF:COUN?", "+7"},
               {"GPS:SAT:TRACKING:COUNT?", "8"},
               {"GPS:SAT:VISIBLE:COUNT?", "11"}};
  r.StatusScreen = {"Jackson status"};
}

void MakeGcru(FakeReceiver& r) {
  r.Answers = {{"*IDN?", "Symmetricom GCRU 1.0"}, {":DIAG:ROSC:EFC:ABS?", "+512"}, {":SYST:ERR?", "+0,\"No error\""}};
  r.StatusScreen = {"GCRU status", "   Tracking: 6    Not Tracking: 2", ">> Locked", "1PPS TI   +7.2 ns",
                    "Predict   165.0 us"};
}

struct Harness {
  explicit Harness(TDateTime start, bool withEvents = true) : clock(start), port(clock), withEvents_(withEvents) {}

  // Runs the thread from the start time until the clock reaches `until`.
  void Run(TDateTime until) {
    thread = std::make_unique<TComThread>(state, port, clock, withEvents_ ? &events : nullptr);
    clock.OnSleep = [this, until] {
      if (OnSleep) OnSleep();
      if (clock.UtcNow() >= until - 1e-9 && !thread->StopRequested()) {
        stopAtMs = clock.Milliseconds();
        thread->RequestStop();
      }
    };
    state.StartGate = true;
    thread->Start();
    ASSERT_TRUE(thread->Join(60000));
  }

  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const WrittenCommand& w : port.Written()) out.push_back(w.command);
    return out;
  }
  std::vector<TDateTime> TimesOf(const std::string& command) const {
    std::vector<TDateTime> out;
    for (const WrittenCommand& w : port.Written())
      if (w.command == command) out.push_back(start() + w.atMs / 86400000.0);
    return out;
  }
  int Count(const std::string& command) const { return static_cast<int>(TimesOf(command).size()); }
  std::vector<std::string> Trace() {
    const auto lines = state.DrainTrace();
    return {lines.begin(), lines.end()};
  }
  TDateTime start() const { return clock.Start(); }

  SharedReceiverState state;
  TestClock clock;
  FakeReceiver port;
  RecordingEvents events;
  std::unique_ptr<TComThread> thread;
  std::function<void()> OnSleep;
  long long stopAtMs = -1;

 private:
  bool withEvents_;
};

std::string Stamp(TDateTime t) { return FormatStamp(t); }

int SecondOf(TDateTime t) { return DecodeDateTime(t).second; }

// ---- Timing ----

TEST(PollTiming, CyclesStartAtEveryTenSecondsOfUtc) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.Run(At(12, 0, 25));
  const auto starts = h.TimesOf(":PTIM:TINT?");
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(Stamp(starts[0]), "2013-08-01 12:00:10");
  EXPECT_EQ(Stamp(starts[1]), "2013-08-01 12:00:20");
  EXPECT_LT((starts[0] - At(12, 0, 10)) * 86400000.0, 20.0);  // within a pass or two of the second
  EXPECT_EQ(h.Count("*IDN?"), 3);                             // once at start, once per cycle
}

TEST(PollTiming, ALongCycleLosesTheTickItSpans) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.ExtraDelayMs = {{":DIAG:LIF:COUN?", 4900}, {":ROSC:STAT?", 4900}, {":SYST:ERR?", 2000}};
  h.Run(At(12, 0, 35));
  const auto starts = h.TimesOf(":PTIM:TINT?");
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(SecondOf(starts[0]), 10);
  EXPECT_EQ(SecondOf(starts[1]), 30);
  const auto leds = h.TimesOf(":LED:ACT ON;");
  ASSERT_FALSE(leds.empty());
  EXPECT_GT(leds[0], At(12, 0, 21));  // the first cycle really ran past :20
  EXPECT_LT(leds[0], At(12, 0, 23));
}

TEST(PollTiming, AStartWithinSecondZeroWaitsForTen) {
  Harness h(At(12, 1, 0, 300));
  MakeZ3801(h.port);
  h.Run(At(12, 1, 15));
  const auto starts = h.TimesOf(":PTIM:TINT?");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(Stamp(starts[0]), "2013-08-01 12:01:10");
}

TEST(PollTiming, CycleTimeHoldsTheStartOfTheRunningCycle) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  TDateTime seenDuringStatus = 0;
  h.port.OnWrite = [&](const std::string& c) {
    if (c == ":SYST:STAT?") seenDuringStatus = h.state.CycleTime.load();
    EXPECT_TRUE(h.state.PollBusy.load()) << c;  // the start-up identification too
  };
  h.Run(At(12, 0, 15));
  EXPECT_EQ(Stamp(seenDuringStatus), "2013-08-01 12:00:10");
  EXPECT_LT((seenDuringStatus - At(12, 0, 10)) * 86400000.0, 20.0);
  EXPECT_FALSE(h.state.PollBusy.load());
}

TEST(PollTiming, AnswersCarryTheStartOfTheirCycleWhenTakenLater) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  TDateTime start = 0;
  h.port.OnWrite = [&](const std::string& c) {
    if (c == ":PTIM:TINT?") start = h.state.CycleTime.load();
  };
  h.Run(At(12, 0, 18));
  ASSERT_GT(start, At(12, 0, 10) - 1e-9);
  // The thread went on testing for ticks, so CycleTime has followed the clock.
  EXPECT_GT((h.state.CycleTime.load() - start) * 86400.0, 5.0);
  TDateTime stamp = -1;
  std::vector<std::string> lines;
  ASSERT_TRUE(h.state.TakeStatusLines(lines, &stamp));
  EXPECT_EQ(stamp, start);
  std::string text;
  for (ReceiverValue v : {ReceiverValue::PpsTi, ReceiverValue::Efc, ReceiverValue::Hup, ReceiverValue::Tracked,
                          ReceiverValue::OscStatus, ReceiverValue::Error}) {
    stamp = -1;
    ASSERT_TRUE(h.state.Take(v, text, &stamp)) << static_cast<int>(v);
    EXPECT_EQ(stamp, start) << static_cast<int>(v);
  }
}

// ---- Standard cycle ----

TEST(StandardCycle, SendsItsStepsInOrderAndPublishesEveryAnswer) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.Run(At(12, 0, 15));
  const std::vector<std::string> expected = {"*IDN?",
                                             ":PTIM:TINT?",
                                             ":PTIM:TCOD:FORM F2",
                                             ":PTIM:TCOD?",
                                             ":DIAG:ROSC:EFC:ABS?",
                                             ":SYNC:HOLD:TUNC:PRED?",
                                             ":DIAG:LIF:COUN?",
                                             "*IDN?",
                                             ":ROSC:STAT?",
                                             ":PTIM:GPS:SAT:TRAC:COUN?",
                                             ":PTIM:GPS:SAT:VIS:PRED:COUN?",
                                             ":SYST:ERR?",
                                             ":SYST:STAT?",
                                             ":LED:ACT ON;"};
  EXPECT_EQ(h.Commands(), expected);
  SharedReceiverState& s = h.state;
  EXPECT_EQ(s.Value(ReceiverValue::PpsTi), "+1.234E-08");
  EXPECT_EQ(s.Value(ReceiverValue::TimeCode), "T2201308011200100000A7");
  EXPECT_EQ(s.Value(ReceiverValue::Efc), "+12345");
  EXPECT_EQ(s.Value(ReceiverValue::Hup), "+1.5E-006,0");
  EXPECT_EQ(s.Value(ReceiverValue::LifeCount), "+3");
  EXPECT_EQ(s.Value(ReceiverValue::Idn), Z3801Idn);
  EXPECT_EQ(s.Value(ReceiverValue::OscStatus), "LOCK");
  EXPECT_EQ(s.Value(ReceiverValue::Tracked), "+6");
  EXPECT_EQ(s.Value(ReceiverValue::Visible), "+9");
  EXPECT_EQ(s.Value(ReceiverValue::Error), "+0,\"No error\"");
  for (int v = 0; v < static_cast<int>(ReceiverValue::Count); ++v)
    EXPECT_TRUE(s.IsNew(static_cast<ReceiverValue>(v))) << v;
  std::vector<std::string> lines;
  ASSERT_TRUE(s.TakeStatusLines(lines));
  EXPECT_EQ(lines, h.port.StatusScreen);
  EXPECT_EQ(s.DeviceFamily.load(), FamilyZ3801);
  EXPECT_EQ(h.events.Menu(), std::vector<bool>{true});  // posted once, not every cycle
}

TEST(StandardCycle, EchoOnAndOffGiveTheSameValues) {
  std::vector<std::string> values[2];
  std::vector<std::string> screens[2];
  for (int echo = 0; echo < 2; ++echo) {
    Harness h(At(12, 0, 7));
    MakeZ3801(h.port);
    h.port.Echo = echo == 1;
    h.port.MsPerChar = 1.0;  // about 9600 baud
    h.Run(At(12, 0, 18));
    for (int v = 0; v < static_cast<int>(ReceiverValue::Count); ++v)
      values[echo].push_back(h.state.Value(static_cast<ReceiverValue>(v)));
    screens[echo] = h.state.StatusLines();
  }
  EXPECT_EQ(values[0], values[1]);
  EXPECT_EQ(screens[0], screens[1]);
  EXPECT_EQ(values[1][static_cast<int>(ReceiverValue::PpsTi)], "+1.234E-08");
  EXPECT_EQ(screens[1].size(), 12u);
}

TEST(StandardCycle, WritesTheTraceOfEveryQuery) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.Run(At(12, 0, 15));
  const auto trace = h.Trace();
  ASSERT_GE(trace.size(), 8u);
  EXPECT_EQ(trace[0], "\r\n");
  EXPECT_EQ(trace[1], "\r\n");
  EXPECT_EQ(trace[2], "2013-08-01 12:00:07 Send    : *IDN?\r\n");
  EXPECT_EQ(trace[3], std::string("2013-08-01 12:00:07 Received: ") + Z3801Idn + "\r\n");
  EXPECT_EQ(trace[4], "2013-08-01 12:00:07 Detected Device: Z3801\r\n");
  EXPECT_EQ(trace[7], "2013-08-01 12:00:10 Send    : :PTIM:TINT?\r\n");
  EXPECT_EQ(trace[8], "2013-08-01 12:00:10 Received: +1.234E-08\r\n");
  // The status screen: "Received:" without a blank, then its lines in one plain entry.
  std::string screen;
  for (const std::string& l : h.port.StatusScreen) screen += l + "\r\n";
  bool found = false;
  for (std::size_t i = 0; i + 1 < trace.size(); ++i)
    if (trace[i] == "2013-08-01 12:00:10 Received:\r\n") found = trace[i + 1] == screen + "\r\n";
  EXPECT_TRUE(found);
  // The F2 format and the LED command have no "Received" line.
  for (const std::string& l : trace) EXPECT_EQ(l.find("Received: scpi"), std::string::npos);
}

TEST(StandardCycle, HoldQueuesNoTraceAndChangesNothingElse) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.state.TraceHold = true;
  h.Run(At(12, 0, 15));
  EXPECT_EQ(h.state.TraceCount(), 0u);
  EXPECT_EQ(h.state.Value(ReceiverValue::PpsTi), "+1.234E-08");
  EXPECT_EQ(h.Count(":LED:ACT ON;"), 1);
}

TEST(StandardCycle, TimeCodeFormatOnlyInTheFirstStandardCycle) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  // The receiver turns into a Jackson unit for one cycle and back again.
  h.OnSleep = [&] {
    const TDateTime now = h.clock.UtcNow();
    if (now >= At(12, 0, 15) && now < At(12, 0, 25)) h.port.Answers["*IDN?"] = "Jackson Labs CSAC";
    if (now >= At(12, 0, 25)) h.port.Answers["*IDN?"] = Z3801Idn;
  };
  MakeJackson(h.port);
  MakeZ3801(h.port);
  h.port.Answers["PTIM:TIME?"] = "12,34,56";
  h.port.Answers["PTIM:DATE?"] = "2013,8,1";
  h.Run(At(12, 0, 45));
  const auto commands = h.Commands();
  EXPECT_EQ(h.Count(":PTIM:TCOD:FORM F2"), 1);
  EXPECT_EQ(h.Count(":PTIM:TCOD?"), 3);  // cycles at :10, :30, :40; :20 is a Jackson cycle
  EXPECT_EQ(h.Count("PTIM:TIME?"), 1);
  const auto f2 = std::find(commands.begin(), commands.end(), ":PTIM:TCOD:FORM F2");
  ASSERT_NE(f2, commands.end());
  EXPECT_EQ(*(f2 + 1), ":PTIM:TCOD?");
  EXPECT_LT(h.TimesOf(":PTIM:TCOD:FORM F2")[0], At(12, 0, 11));
}

TEST(StandardCycle, ActivityLedAlternatesAcrossCycles) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.Run(At(12, 0, 35));
  std::vector<std::string> leds;
  for (const std::string& c : h.Commands())
    if (c.rfind(":LED:ACT", 0) == 0) leds.push_back(c);
  EXPECT_EQ(leds, (std::vector<std::string>{":LED:ACT ON;", ":LED:ACT OFF;", ":LED:ACT ON;"}));
}

// ---- The other cycles ----

TEST(JacksonCycle, BuildsTheTimeCodeAndUsesItsOwnCountCommands) {
  Harness h(At(12, 0, 7));
  MakeJackson(h.port);
  h.Run(At(12, 0, 15));
  const std::vector<std::string> expected = {"*IDN?",
                                             ":PTIM:TINT?",
                                             "PTIM:TIME?",
                                             "PTIM:DATE?",
                                             ":DIAG:ROSC:EFC:ABS?",
                                             ":SYNC:HOLD:TUNC:PRED?",
                                             ":DIAG:LIF:COUN?",
                                             "*IDN?",
                                             "GPS:SAT:TRACKING:COUNT?",
                                             "GPS:SAT:VISIBLE:COUNT?",
                                             ":SYST:STAT?"};
  EXPECT_EQ(h.Commands(), expected);
  EXPECT_EQ(h.state.Value(ReceiverValue::TimeCode), "T2201308011234560000");
  EXPECT_TRUE(h.state.IsNew(ReceiverValue::TimeCode));
  EXPECT_EQ(h.state.Value(ReceiverValue::Tracked), "8");
  EXPECT_EQ(h.state.Value(ReceiverValue::Visible), "11");
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyJackson);
  EXPECT_EQ(h.events.Menu(), std::vector<bool>{true});
}

TEST(JacksonCycle, AnInvalidDateIsNotPublished) {
  Harness h(At(12, 0, 7));
  MakeJackson(h.port, "MTRON GPSDO");
  h.port.Answers["PTIM:DATE?"] = "2013,2,30";
  h.Run(At(12, 0, 15));
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyMtron);
  EXPECT_FALSE(h.state.IsNew(ReceiverValue::TimeCode));
  EXPECT_TRUE(h.state.IsNew(ReceiverValue::PpsTi));  // the cycle went on
  EXPECT_EQ(h.Count(":SYST:STAT?"), 1);
}

TEST(GcruCycle, AStateLineArrivingInPiecesAfterElevenLinesIsNoPrompt) {
  Harness h(At(12, 0, 7));
  MakeGcru(h.port);
  std::vector<std::string> screen(11, "   filler");
  screen.insert(screen.end(), {">> Holdover          1PPS TI +7.2 ns", "   Tracking: 5    Not Tracking: 3"});
  h.port.StatusScreen = screen;
  h.port.MsPerChar = 1.0;  // ten characters a pass: the ">>" line comes in pieces
  h.Run(At(12, 0, 15));
  EXPECT_EQ(h.state.StatusLines(), screen);
  EXPECT_EQ(h.state.Value(ReceiverValue::OscStatus), "HOLD");
  EXPECT_EQ(h.state.Value(ReceiverValue::Tracked), "5");
}

TEST(GcruCycle, DecodesTheStatusScreen) {
  Harness h(At(12, 0, 7));
  MakeGcru(h.port);
  h.Run(At(12, 0, 15));
  const std::vector<std::string> expected = {"*IDN?", "*IDN?", ":DIAG:ROSC:EFC:ABS?", ":SYST:ERR?", ":SYST:STAT?"};
  EXPECT_EQ(h.Commands(), expected);
  SharedReceiverState& s = h.state;
  EXPECT_EQ(s.Value(ReceiverValue::Tracked), "6");
  EXPECT_EQ(s.Value(ReceiverValue::Visible), "8");
  EXPECT_EQ(s.Value(ReceiverValue::PpsTi), "7.2E-9");
  EXPECT_EQ(s.Value(ReceiverValue::Hup), "0.000165");
  EXPECT_EQ(s.Value(ReceiverValue::OscStatus), "LOCK");
  EXPECT_EQ(s.Value(ReceiverValue::LifeCount), "1");
  EXPECT_EQ(s.Value(ReceiverValue::Efc), "+512");
  EXPECT_EQ(s.StatusLines().size(), 5u);
  EXPECT_EQ(h.events.Menu(), std::vector<bool>{false});
  // 200 ms between the queries of a GCRU cycle.
  const auto written = h.port.Written();
  ASSERT_EQ(written.size(), 5u);
  EXPECT_GE(written[2].atMs - written[1].atMs, 200);
  EXPECT_GE(written[3].atMs - written[2].atMs, 200);
}

TEST(OtherCycles, NeverSendTheLedCommand) {
  for (int kind = 0; kind < 3; ++kind) {
    Harness h(At(12, 0, 7));
    if (kind == 0) MakeJackson(h.port);
    if (kind == 1) MakeGcru(h.port);
    if (kind == 2) h.port.Answers = {{"*IDN?", "Acme Clock"}};
    h.Run(At(12, 0, 35));
    EXPECT_GE(h.Count("*IDN?"), 4) << kind;
    for (const std::string& c : h.Commands()) EXPECT_EQ(c.find(":LED"), std::string::npos) << kind;
  }
}

TEST(UndefinedCycle, IdentifiesOnlyAndKeepsTheMenuOff) {
  Harness h(At(12, 0, 7), false);  // no events interface at all
  h.port.Answers = {{"*IDN?", "Acme Clock"}};
  h.Run(At(12, 0, 25));
  EXPECT_EQ(h.Commands(), (std::vector<std::string>{"*IDN?", "*IDN?", "*IDN?"}));
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyUndefined);
  EXPECT_TRUE(h.state.IsNew(ReceiverValue::Idn));  // shown although not recognised
  const auto trace = h.Trace();
  EXPECT_EQ(trace[4], "2013-08-01 12:00:07 Detected Device: Undefined\r\n");
}

TEST(Identification, SetupCommandsGoOnceAfterTheFirstZ3805) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.Answers["*IDN?"] = "HEWLETT-PACKARD,Z3805A";
  h.Run(At(12, 0, 25));
  EXPECT_EQ(h.Count("PTIM:TCOD:CONT 0"), 1);
  EXPECT_EQ(h.Count(":SYST:COMM:SER1:FDUP 0"), 1);
  EXPECT_EQ(h.Count("*CLS"), 1);
  const auto commands = h.Commands();
  EXPECT_EQ(commands[1], "PTIM:TCOD:CONT 0");  // right after the first identification
  EXPECT_NEAR((h.TimesOf("*CLS")[0] - h.TimesOf(":SYST:COMM:SER1:FDUP 0")[0]) * 86400000.0, 1000, 1);
}

// ---- Stop requests ----

TEST(Stop, DuringIdentificationLeavesFamilyUndefinedAndPublishesNothing) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.DelayMs = 50;
  h.port.OnWrite = [&](const std::string& c) {
    if (c == "*IDN?") h.thread->RequestStop();
  };
  h.Run(At(13, 0, 0));
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyUndefined);
  EXPECT_FALSE(h.state.IsNew(ReceiverValue::Idn));
  EXPECT_EQ(h.state.Value(ReceiverValue::Idn), "");
  for (const std::string& l : h.Trace()) EXPECT_EQ(l.find("Received"), std::string::npos) << l;
  EXPECT_EQ(h.clock.Milliseconds(), 10);  // one pass
  EXPECT_TRUE(h.events.Menu().empty());
}

TEST(Stop, DuringTheStatusScreenEndsWithinOnePassAndPublishesNothing) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.MsPerChar = 1.0;
  long long stopAt = -1;
  h.OnSleep = [&] {
    if (stopAt < 0 && h.Count(":SYST:STAT?") == 1 && h.state.TraceCount() > 0) {
      const auto w = h.port.Written();
      if (h.clock.Milliseconds() >= w.back().atMs + 150) {
        stopAt = h.clock.Milliseconds();
        h.thread->RequestStop();
      }
    }
  };
  h.Run(At(13, 0, 0));
  ASSERT_GE(stopAt, 0);
  EXPECT_LE(h.clock.Milliseconds() - stopAt, 10);
  EXPECT_FALSE(h.state.StatusLinesNew());
  EXPECT_EQ(h.Count(":LED:ACT ON;"), 0);
}

TEST(Stop, AtTheStartGateEndsTheThread) {
  SharedReceiverState state;
  TestClock clock(At(12, 0, 7));
  FakeReceiver port(clock);
  TComThread thread(state, port, clock, nullptr);
  thread.Start();
  while (clock.Milliseconds() < 1000) std::this_thread::yield();
  EXPECT_TRUE(port.Written().empty());  // nothing before the gate opens
  thread.RequestStop();
  EXPECT_TRUE(thread.Join(5000));
}

// ---- Faults ----

TEST(Faults, ASilentReceiverCostsTheIdleLimitPerQuery) {
  Harness h(At(12, 0, 7));
  h.port.Silent = true;
  h.Run(At(12, 0, 31));
  const auto idn = h.TimesOf("*IDN?");
  ASSERT_EQ(idn.size(), 3u);  // :07, then the Undefined cycle at :20 (:10 passed meanwhile) and :30
  EXPECT_EQ(SecondOf(idn[1]), 20);
  const auto trace = h.Trace();
  EXPECT_EQ(trace[3], "2013-08-01 12:00:12 Received: \r\n");  // 500 passes later
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyUndefined);
  for (int v = 0; v < static_cast<int>(ReceiverValue::Count); ++v)
    EXPECT_FALSE(h.state.IsNew(static_cast<ReceiverValue>(v))) << v;
  EXPECT_FALSE(h.state.StatusLinesNew());
}

TEST(Faults, ChatterWithoutPromptEndsAPlainQueryAfterThirtySeconds) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.Prompt = "";
  // Continuous time-code output, one line every 100 ms.
  h.port.Chatter = [](long long now) {
    return now % 100 == 0 ? std::string("T2201308011200100000A7\r\n") : std::string();
  };
  h.Run(At(12, 1, 45));
  const auto written = h.port.Written();
  ASSERT_GE(written.size(), 3u);
  EXPECT_EQ(written[1].command, ":PTIM:TINT?");  // at :40, after the identification ended at :37
  EXPECT_NEAR(written[2].atMs - written[1].atMs, 30000, 20);
  std::string value = h.state.Value(ReceiverValue::Idn);
  EXPECT_LE(value.size(), TComThread::MaxCollectedBytes);
  EXPECT_NE(value.find(Z3801Idn), std::string::npos);
}

TEST(Faults, AClockSetBackDoesNotStretchTheQueryLimit) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.Prompt = "";
  h.port.Chatter = [](long long now) { return now % 100 == 0 ? std::string("chatter\r\n") : std::string(); };
  bool jumped = false;
  h.OnSleep = [&] {
    if (!jumped && h.clock.SleptMilliseconds() >= 1000) {
      jumped = true;
      h.clock.Jump(-3600 * 1000);
    }
    if (h.clock.SleptMilliseconds() >= 31000) h.thread->RequestStop();
  };
  h.Run(At(14, 0, 0));
  bool received = false;
  for (const std::string& l : h.Trace()) received = received || l.find("Received: ") != std::string::npos;
  EXPECT_TRUE(received);  // ended after 30 s of pauses although the clock shows less
}

TEST(Faults, ChatterWithoutPromptEndsTheStatusScreenAfterSixtySeconds) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  // Prompts for everything but the status screen, which never ends.
  h.port.StatusScreen = {"screen"};
  h.OnSleep = [&] {
    const auto w = h.port.Written();
    h.port.Chatter = nullptr;
    if (!w.empty() && w.back().command == ":SYST:STAT?")
      h.port.Chatter = [](long long now) { return now % 200 == 0 ? std::string("x") : std::string(); };
  };
  h.Run(At(12, 1, 15));
  const auto stat = h.TimesOf(":SYST:STAT?");
  const auto led = h.TimesOf(":LED:ACT ON;");
  ASSERT_EQ(stat.size(), 1u);
  ASSERT_EQ(led.size(), 1u);
  EXPECT_NEAR((led[0] - stat[0]) * 86400.0, 60.0, 0.05);
  EXPECT_TRUE(h.state.StatusLinesNew());
}

TEST(Faults, AFloodOfGarbageIsCutAtSixtyFourKilobytes) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.Prompt = "";
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(i % 256 == '>' ? 0 : i % 256);
  h.port.Chatter = [garbage](long long) { return garbage; };
  h.Run(At(12, 0, 12));
  const auto written = h.port.Written();
  ASSERT_GE(written.size(), 3u);
  EXPECT_LT(written[2].atMs - written[1].atMs, 1000);  // ended by the size limit, long before 30 s
  EXPECT_LE(h.state.Value(ReceiverValue::Idn).size(), TComThread::MaxCollectedBytes);
  EXPECT_GT(h.state.Value(ReceiverValue::Idn).size(), 60000u);
}

TEST(Faults, TheNextCycleWorksAgainOnceTheFaultClears) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.Silent = true;
  h.OnSleep = [&] {
    if (h.clock.UtcNow() >= At(12, 0, 40)) h.port.Silent = false;
  };
  h.Run(At(12, 1, 5));
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyZ3801);
  EXPECT_EQ(h.state.Value(ReceiverValue::PpsTi), "+1.234E-08");
  EXPECT_GE(h.Count(":PTIM:TINT?"), 1);
}

// ---- Status screen collection ----

TEST(StatusScreen, AnEchoLineIsKeptOutAndBlankLinesStayLines) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.StatusScreen = {"first", "", "third :SYST:STAT? again", "fourth", ""};
  h.Run(At(12, 0, 25));
  EXPECT_EQ(h.state.StatusLines(), (std::vector<std::string>{"first", "", "fourth", ""}));
  // The echo line brings back the 10 s wait for the screen.
  const double screenMs = (h.TimesOf(":LED:ACT ON;")[0] - h.TimesOf(":SYST:STAT?")[0]) * 86400000.0;
  EXPECT_NEAR(screenMs, 10000 + 20, 30);
}

TEST(StatusScreen, LfCrLineEndsWorkToo) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.LineEnd = "\n\r";
  h.port.StatusScreen = {"a", "", "c"};
  h.Run(At(12, 0, 15));
  EXPECT_EQ(h.state.StatusLines(), (std::vector<std::string>{"a", "", "c"}));
  EXPECT_EQ(h.state.Value(ReceiverValue::PpsTi), "+1.234E-08");
}

TEST(StatusScreen, APromptAfterElevenLinesEndsItAtOnce) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.MsPerChar = 1.0;  // a line of about 15 characters every 15 ms: lines are taken as they come
  h.Run(At(12, 0, 15));
  const auto stat = h.TimesOf(":SYST:STAT?");
  const auto led = h.TimesOf(":LED:ACT ON;");
  ASSERT_EQ(led.size(), 1u);
  const double screenMs = (led[0] - stat[0]) * 86400000.0;
  EXPECT_LT(screenMs, 400);  // not the 1 s idle end
  EXPECT_EQ(h.state.StatusLines().size(), 12u);
}

TEST(StatusScreen, AScreenInOneChunkEndsAtItsPromptOnlyAfterElevenLines) {
  // Every line of a chunk is taken at once: twelve lines and the prompt end the screen
  // in the same pass, ten lines wait for the idle end.
  for (int n : {12, 10}) {
    Harness h(At(12, 0, 7));
    MakeZ3801(h.port);
    h.port.StatusScreen.resize(n);
    h.Run(At(12, 0, 15));
    const double screenMs = (h.TimesOf(":LED:ACT ON;")[0] - h.TimesOf(":SYST:STAT?")[0]) * 86400000.0;
    EXPECT_NEAR(screenMs, n > 10 ? 10 : 1000, 20) << n;
    EXPECT_EQ(h.state.StatusLines(), h.port.StatusScreen) << n;
  }
}

// ---- Manual mode ----

TEST(ManualMode, ACycleRunsToItsEndThenAnswersGoToTheWindow) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  bool injected = false;
  h.port.OnWrite = [&](const std::string& c) {
    if (c == ":DIAG:ROSC:EFC:ABS?") h.state.ManualMode = true;  // window opened mid-cycle
  };
  h.OnSleep = [&] {
    if (!injected && h.clock.UtcNow() > At(12, 0, 25)) {
      injected = true;
      h.port.Inject("+1.0E-08\r\n");
      h.port.Inject("scpi > ");
      h.port.Inject("E-113> ");
    }
  };
  h.Run(At(12, 0, 45));
  EXPECT_EQ(h.Count(":LED:ACT ON;"), 1);  // the first cycle completed
  EXPECT_EQ(h.Count(":PTIM:TINT?"), 1);   // and no other started
  EXPECT_EQ(h.events.Manual(), "+1.0E-08\r\nscpi > E-113> ");
}

// Every transaction of ours holds the line, so the manual window keeps Send disabled.
struct HeldLineCase {
  const char* name;
  long long manualFromMs, manualUntilMs;  // the window open, from the start
  long long unplugFromMs, unplugUntilMs;  // the line gone (0, 0: never)
  long long firstWriteNotBeforeMs;
};

class HeldLine : public ::testing::TestWithParam<HeldLineCase> {};

TEST_P(HeldLine, IdentificationAndSetUpRaisePollBusyAndWaitForTheManualWindow) {
  const HeldLineCase& c = GetParam();
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.Answers["*IDN?"] = "HEWLETT-PACKARD,Z3805A";  // with its three set-up commands
  std::vector<std::string> freeWrites;
  h.port.OnWrite = [&](const std::string& command) {
    if (!h.state.PollBusy.load() || h.state.ManualMode.load()) freeWrites.push_back(command);
  };
  h.OnSleep = [&] {
    const long long ms = h.clock.Milliseconds();
    h.state.ManualMode = ms >= c.manualFromMs && ms < c.manualUntilMs;
    h.port.Unplugged = ms >= c.unplugFromMs && ms < c.unplugUntilMs;
  };
  h.state.ManualMode = c.manualFromMs == 0 && c.manualUntilMs > 0;
  h.Run(At(12, 0, 45));
  EXPECT_TRUE(freeWrites.empty()) << freeWrites.front();
  const auto written = h.port.Written();
  ASSERT_FALSE(written.empty());
  EXPECT_GE(written.front().atMs, c.firstWriteNotBeforeMs);
  EXPECT_EQ(written.front().command, "*IDN?");
  EXPECT_EQ(h.Count("*CLS"), c.unplugUntilMs > 0 ? 2 : 1);  // set up again after the line came back
  EXPECT_EQ(h.state.DeviceFamily.load(), FamilyZ3805);
}

INSTANTIATE_TEST_SUITE_P(Occasions, HeldLine,
                         ::testing::Values(HeldLineCase{"AtStartWithTheWindowOpen", 0, 5000, 0, 0, 5000},
                                           HeldLineCase{"AfterTheLineCameBack", 0, 0, 8000, 12000, 0},
                                           HeldLineCase{"AfterTheLineCameBackWhileTheWindowWasOpen", 9000, 19000, 8000,
                                                        12000, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// What the receiver still sends after the window closed goes to the window, whole,
// and never into a poll answer.
struct TailCase {
  const char* name;
  int replyChars;          // a long reply, at one character per millisecond from 12:00:28
  bool chatter;            // the receiver then keeps talking on its own
  long long firstQueryMs;  // the first write after the window closed, not before
  long long firstQueryByMs;
};

class ManualTail : public ::testing::TestWithParam<TailCase> {};

TEST_P(ManualTail, GoesToTheWindowUntilTheLineIsQuietAndAtMostThreeSeconds) {
  const TailCase& c = GetParam();
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.MsPerChar = 1;
  const long long replyAt = 21000, closedAt = 21500;  // 12:00:28 and 12:00:28.5
  std::string reply;
  for (int i = 0; static_cast<int>(reply.size()) < c.replyChars - 9; ++i) reply += "log " + std::to_string(i) + "\r\n";
  reply.resize(static_cast<std::size_t>(c.replyChars - 9), '.');
  reply += "\r\nscpi > ";
  bool injected = false;
  h.state.ManualMode = true;
  h.OnSleep = [&] {
    const long long ms = h.clock.Milliseconds();
    if (!injected && ms >= replyAt) {
      injected = true;
      h.port.Inject(reply);
    }
    if (ms >= closedAt) h.state.ManualMode = false;
  };
  if (c.chatter)
    h.port.Chatter = [&](long long ms) { return ms >= replyAt + c.replyChars ? std::string("T") : std::string(); };
  h.Run(At(12, 0, 45));

  long long firstAfterClose = -1;
  for (const WrittenCommand& w : h.port.Written())
    if (w.atMs >= closedAt) {
      firstAfterClose = w.atMs;
      break;
    }
  EXPECT_GE(firstAfterClose, c.firstQueryMs);
  EXPECT_LE(firstAfterClose, c.firstQueryByMs);
  const std::string manual = h.events.Manual();
  EXPECT_TRUE(manual.compare(0, reply.size(), reply) == 0) << manual.size() << " of " << reply.size() << " bytes";
  if (!c.chatter) {
    EXPECT_EQ(manual.size(), reply.size());
    EXPECT_EQ(h.state.Value(ReceiverValue::Idn), "HEWLETT-PACKARD,Z3801A,3542A01234,Rev 1.07");
    for (const std::string& line : h.Trace()) EXPECT_EQ(line.find("log "), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Replies, ManualTail,
                         ::testing::Values(
                             // Ends at 12:00:30.5; quiet 0.5 s later the line is ours again.
                             TailCase{"ALongReply", 2500, false, 21000 + 2500 + 500, 21000 + 2500 + 600},
                             // Never quiet: the window gets it for three seconds after it closed, then polling resumes.
                             TailCase{"EndlessOutput", 1000, true, 21500 + 3000, 21500 + 3100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ManualMode, PollingResumesAtTheNextTickAfterTheWindowCloses) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.state.ManualMode = true;
  h.OnSleep = [&] {
    if (h.clock.UtcNow() >= At(12, 0, 23)) h.state.ManualMode = false;
  };
  h.Run(At(12, 0, 35));
  const auto starts = h.TimesOf(":PTIM:TINT?");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(SecondOf(starts[0]), 30);
}

}  // namespace

namespace {

TEST(Failures, AFailingStepIsReportedAndTheCycleGoesOn) {
  Harness h(At(12, 0, 7));
  MakeZ3801(h.port);
  h.port.OnWrite = [](const std::string& c) {
    if (c == ":DIAG:ROSC:EFC:ABS?") throw std::runtime_error("line gone");
  };
  h.Run(At(12, 0, 15));
  const auto trace = h.Trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "2013-08-01 12:00:10 A error in \"QueryEfc\" has occurred\r\n"),
            trace.end());
  EXPECT_EQ(h.Count(":LED:ACT ON;"), 1);  // the remaining steps ran
  EXPECT_EQ(h.state.Value(ReceiverValue::Hup), "+1.5E-006,0");
  EXPECT_FALSE(h.state.IsNew(ReceiverValue::Efc));
  EXPECT_FALSE(h.state.PollBusy.load());
}

}  // namespace

// ---- Manual commands ----

namespace {

// A line that takes what is written, up to a limit, and notes the order of writes and
// reads, so the test sees the reply read while a long text goes out.
class RecordingLine final : public LinkPort {
 public:
  bool Open = true;
  std::size_t Takes = std::string::npos;  // bytes the line takes before it stops
  std::string Taken;
  std::vector<char> Calls;  // 'W' per write, 'R' per read
  std::mutex Mutex;

  bool Write(const std::string& text) override {
    std::lock_guard<std::mutex> lock(Mutex);
    Calls.push_back('W');
    if (!Open) return false;
    const std::size_t room = Takes - std::min(Takes, Taken.size());
    Taken += text.substr(0, room);
    return text.size() <= room;
  }
  void Read(std::string& text) override {
    std::lock_guard<std::mutex> lock(Mutex);
    Calls.push_back('R');
    text.clear();
  }
  bool IsOpen() override { return Open; }
};

}  // namespace

// The window's text goes out whole, its carriage return last, in pieces with the reply
// read in between; a line that stops taking it, or a closed one, is reported back.
TEST(ManualCommand, TheTextGoesOutWholeOrTheOutcomeSaysHowFar) {
  std::string text(32767, 'x');
  for (std::size_t i = 0; i < text.size(); i += 97) text[i] = static_cast<char>('A' + i % 26);
  text += '\r';
  const struct Case {
    const char* name;
    bool open;
    std::size_t takes;
    ManualSendOutcome outcome;
  } cases[] = {
      {"whole", true, std::string::npos, {text.size(), text.size()}},
      {"line stops", true, 5000, {4992, text.size()}},
      {"closed", false, std::string::npos, {0, text.size()}},
  };
  for (const Case& c : cases) {
    SharedReceiverState state;
    TestClock clock(At(12, 0, 2));
    RecordingLine line;
    line.Open = c.open;
    TComThread thread(state, line, clock, nullptr);
    state.ManualMode = true;
    std::optional<ManualSendOutcome> outcome;
    std::size_t before = 0;
    bool posted = false;
    clock.OnSleep = [&] {
      // After identification (which meets silence), once.
      if (!posted && clock.Milliseconds() >= 60000) {
        std::lock_guard<std::mutex> lock(line.Mutex);
        before = line.Taken.size();
        if (c.takes != std::string::npos) line.Takes = before + c.takes;
        line.Calls.clear();
        posted = state.ManualCommand.Post(text);
      }
      if (!outcome) outcome = state.ManualCommand.TakeOutcome();
      if (outcome || clock.Milliseconds() > 120000) thread.RequestStop();
    };
    state.StartGate = true;
    thread.Start();
    ASSERT_TRUE(thread.Join(60000)) << c.name;
    ASSERT_TRUE(outcome.has_value()) << c.name;
    EXPECT_EQ(*outcome, c.outcome) << c.name << ": " << outcome->Sent;
    const std::string sent = line.Taken.substr(before);
    if (c.outcome.Complete()) {
      EXPECT_TRUE(sent == text) << c.name;
    } else {
      EXPECT_EQ(sent.find('\r'), std::string::npos) << c.name << ": a cut text never ends in a carriage return";
    }
    // No cycle started meanwhile, and the reply was read between the pieces.
    const auto writes = std::count(line.Calls.begin(), line.Calls.end(), 'W');
    const auto reads = std::count(line.Calls.begin(), line.Calls.end(), 'R');
    EXPECT_GE(reads, writes - 1) << c.name;
    EXPECT_FALSE(state.ManualCommand.Busy()) << c.name;
  }
}
